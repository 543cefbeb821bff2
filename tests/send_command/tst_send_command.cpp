// talvenor-send as a script runs it: the exit status, standard error, what
// arrives at the server (read back as a mail program reads it) and the log.

#include "data_ini_layout.h"
#include "settings_in_use.h"
#include "mail_settings.h"
#include "temp_app_folder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using Smtp = MailSettings::SmtpSecurity;

namespace {

// The mails a server on this port stored, oldest first.
QStringList mailsAt(int port) {
  const QString spool = port == 25 ? qEnvironmentVariable("TALVENOR_SMTP_SPOOL")
                                   : qEnvironmentVariable("TALVENOR_SECURE_SPOOL") + u'/' + QString::number(port);
  QStringList mails;
  for (const QString& name : QDir(spool).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
    if (QFileInfo::exists(spool + u'/' + name + QStringLiteral("/envelope.json")))
      mails << spool + u'/' + name + QStringLiteral("/message");
  return mails;
}

QJsonObject readBack(const QString& message) {
  QProcess parser;
  parser.start(QStringLiteral("/usr/bin/python3"),
               {qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/tests/servers/parse_mail.py"), message});
  parser.waitForFinished(30000);
  return QJsonDocument::fromJson(parser.readAllStandardOutput()).object();
}

struct Run {
  int status = -1;
  QString out;
  QString err;
};

}  // namespace

class TstSendCommand : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void sends_data();
  void sends();
  void certificates_data();
  void certificates();
  void popBeforeSmtpLogsInFirst();
  void endlessStandardInput_data();
  void endlessStandardInput();
  void dryRunPrintsTheHeadersSent();
  void keyringThatNeverAnswers();
  void plantedQtConfIsNotRead();
  void unreadableStandardInput();
  void terminalOnStandardInput();
  void missingSettings();
  void settingsNotUsable_data();
  void settingsNotUsable();
  void noWidgetsNoGui();

 private:
  // A settings folder for the servers of run_real_servers.sh.
  void writeSettings(const TempAppFolder& folder, int port, Smtp security, const QString& password,
                     const QString& server = QStringLiteral("localhost"));
  Run run(const QString& folder, const QStringList& arguments, const QByteArray& input);
  QTemporaryDir certificates_;
  QString caFolder_;
};

void TstSendCommand::initTestCase() {
  if (qEnvironmentVariableIsEmpty("TALVENOR_TEST_CA"))
    QSKIP("needs the servers of tests/servers/run_real_servers.sh (run it under unshare --net)");
  // The command trusts the system's certificates only: each run gets the
  // test CA as the system store of a private mount namespace.
  caFolder_ = certificates_.path();
  QVERIFY(QFile::copy(qEnvironmentVariable("TALVENOR_TEST_CA"), caFolder_ + QStringLiteral("/test-ca.pem")));
  QCOMPARE(QProcess::execute(QStringLiteral("openssl"), {QStringLiteral("rehash"), caFolder_}), 0);
}

void TstSendCommand::writeSettings(const TempAppFolder& folder, int port, Smtp security, const QString& password,
                                   const QString& server) {
  folder.writeIni(QStringLiteral("[CarrierNum]\nNum=1\nDefaultNum=0\n[CarrierIndex]\n0=docomo\n1=制限なし\n"
                                 "[CarrierData]\n0=40\n1=0\n[AddrNum]\nNum=1\n[MAIL]\nPBSMTP=False\nOUTLOG=True\n"));
  MailSettings settings;
  settings.from = QStringLiteral("taro@talvenor.test");
  settings.smtpServer = server;
  settings.smtpSecurity = security;
  settings.smtpPort = std::uint16_t(port);
  settings.smtpAuth = security != Smtp::None;
  settings.smtpUser = QStringLiteral("taro");
  settings.smtpPassword = password;
  settings.keepLog = true;
  settings.charset = MailSettings::Charset::Iso2022Jp;
  SettingsFile::inUse().update([&settings](IniDocument& ini) {
    DataIni::writeMailSettings(ini, settings);
    DataIni::writeScrambled(ini, DataIni::Section::MAIL, DataIni::Key::To, QStringLiteral("hanako@talvenor.test"));
    DataIni::writeScrambled(ini, DataIni::Section::AddrIndex, QStringLiteral("1"), QStringLiteral("jiro@talvenor.test"));
    return true;
  });
}

Run TstSendCommand::run(const QString& folder, const QStringList& arguments, const QByteArray& input) {
  QProcess command;
  command.start(QStringLiteral("unshare"),
                QStringList{QStringLiteral("--mount"), QStringLiteral("sh"), QStringLiteral("-c"),
                            QStringLiteral("mount --bind \"$0\" /etc/ssl/certs && exec \"$@\""), caFolder_,
                            qEnvironmentVariable("TALVENOR_SEND"), QStringLiteral("--config"), folder} +
                    arguments);
  command.write(input);
  command.closeWriteChannel();
  command.waitForFinished(60000);
  return {command.exitStatus() == QProcess::NormalExit ? command.exitCode() : -1,
          QString::fromUtf8(command.readAllStandardOutput()), QString::fromUtf8(command.readAllStandardError())};
}

void TstSendCommand::sends_data() {
  QTest::addColumn<int>("port");
  QTest::addColumn<int>("security");
  QTest::addColumn<QString>("password");
  QTest::addColumn<QString>("server");
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<QByteArray>("input");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("error");  // what standard error holds; empty: nothing
  QTest::addColumn<QString>("arrives");  // the body as read back; empty: nothing arrives

  const QString host = QStringLiteral("localhost");
  const QStringList subject{QStringLiteral("-s"), QStringLiteral("ディスク")};
  const QByteArray lines = "/dev/sda1  98%\n/dev/sdb1  12%\n";
  QTest::newRow("STARTTLS and AUTH, body from standard input")
      << 587 << int(Smtp::StartTls) << QStringLiteral("secret") << host << subject << lines << 0 << QString()
      << QStringLiteral("/dev/sda1  98%\n/dev/sdb1  12%");
  QTest::newRow("SSL/TLS, --body, address book entry")
      << 465 << int(Smtp::Ssl) << QStringLiteral("secret") << host
      << QStringList{QStringLiteral("--entry"), QStringLiteral("1"), QStringLiteral("--body"), QStringLiteral("本文")}
      << QByteArray() << 0 << QString() << QStringLiteral("本文");
  QTest::newRow("--truncate cuts at a whole character")
      << 587 << int(Smtp::StartTls) << QStringLiteral("secret") << host << QStringList{QStringLiteral("--truncate")}
      << QStringLiteral("あ").repeated(25).toUtf8() << 0 << QString() << QStringLiteral("あ").repeated(20);
  QTest::newRow("over the carrier's limit") << 587 << int(Smtp::StartTls) << QStringLiteral("secret") << host
                                            << QStringList() << QStringLiteral("あ").repeated(25).toUtf8() << 65
                                            << QStringLiteral("（50 バイト、上限 40 バイト）") << QString();
  QTest::newRow("no limit for the carrier without one")
      << 587 << int(Smtp::StartTls) << QStringLiteral("secret") << host
      << QStringList{QStringLiteral("-c"), QStringLiteral("制限なし")} << QStringLiteral("あ").repeated(25).toUtf8() << 0
      << QString() << QStringLiteral("あ").repeated(25);
  QTest::newRow("not UTF-8") << 587 << int(Smtp::StartTls) << QStringLiteral("secret") << host << QStringList()
                             << QByteArray("ok \xff") << 65 << QStringLiteral("3 バイト目") << QString();
  QTest::newRow("overlong UTF-8 (a slash in two bytes)")
      << 587 << int(Smtp::StartTls) << QStringLiteral("secret") << host << QStringList()
      << QByteArray("\xe3\x81\x82\xc0\xaf") << 65 << QStringLiteral("3 バイト目") << QString();
  QTest::newRow("a UTF-16 surrogate encoded in UTF-8")
      << 587 << int(Smtp::StartTls) << QStringLiteral("secret") << host << QStringList()
      << QByteArray("\xed\xa0\x80") << 65 << QStringLiteral("0 バイト目") << QString();
  // docomo's limit is 40 bytes.
  QTest::newRow("--truncate leaves out a double-byte character one byte short")
      << 25 << int(Smtp::None) << QString() << host << QStringList{QStringLiteral("--truncate")}
      << (QStringLiteral("a") + QStringLiteral("あ").repeated(25)).toUtf8() << 0 << QString()
      << QStringLiteral("a") + QStringLiteral("あ").repeated(19);
  QTest::newRow("--truncate keeps a line break whole")
      << 25 << int(Smtp::None) << QString() << host << QStringList{QStringLiteral("--truncate")}
      << QByteArray(39, 'x') + "\ny" << 0 << QString() << QString(39, u'x');
  QTest::newRow("--truncate keeps a character beyond the BMP whole")
      << 25 << int(Smtp::None) << QString() << host << QStringList{QStringLiteral("--truncate")}
      << QByteArray(39, 'x') + QStringLiteral("😀😀").toUtf8() << 0 << QString()
      << QString(39, u'x') + QStringLiteral("😀");
  QTest::newRow("--entry naming an empty entry")
      << 25 << int(Smtp::None) << QString() << host << QStringList{QStringLiteral("--entry"), QStringLiteral("3")}
      << lines << 64 << QStringLiteral("アドレス帳の 3 番は空です。") << QString();
  QTest::newRow("a recipient with a space") << 587 << int(Smtp::StartTls) << QStringLiteral("secret") << host
                                            << QStringList{QStringLiteral("a b@talvenor.test")} << lines << 65
                                            << QStringLiteral("宛先メールアドレスが不正です") << QString();
  QTest::newRow("wrong password") << 587 << int(Smtp::StartTls) << QStringLiteral("wrong") << host << QStringList()
                                  << lines << 77 << QStringLiteral("SMTP 認証に失敗しました。") << QString();
  QTest::newRow("recipient refused") << 25 << int(Smtp::None) << QString() << host
                                     << QStringList{QStringLiteral("nobody@talvenor.test")} << lines << 69
                                     << QStringLiteral("550") << QString();
  QTest::newRow("connection refused") << 2999 << int(Smtp::None) << QString() << host << QStringList() << lines << 69
                                      << QStringLiteral("10061") << QString();
  QTest::newRow("host not found") << 25 << int(Smtp::None) << QString() << QStringLiteral("nowhere.talvenor.invalid")
                                  << QStringList() << lines << 68 << QStringLiteral("ホストが見つかりません。")
                                  << QString();
  QTest::newRow("certificate of an unknown CA")
      << 4653 << int(Smtp::Ssl) << QStringLiteral("secret") << host << QStringList() << lines << 69
      << QStringLiteral("サーバの証明書を確認できませんでした") << QString();
  QTest::newRow("dry run connects to nothing")
      << 587 << int(Smtp::StartTls) << QStringLiteral("secret") << host << QStringList{QStringLiteral("--dry-run")}
      << lines << 0 << QString() << QString();
}

void TstSendCommand::sends() {
  QFETCH(int, port);
  QFETCH(int, security);
  QFETCH(QString, password);
  QFETCH(QString, server);
  QFETCH(QStringList, arguments);
  QFETCH(QByteArray, input);
  QFETCH(int, status);
  QFETCH(QString, error);
  QFETCH(QString, arrives);
  TempAppFolder folder;
  writeSettings(folder, port, Smtp(security), password, server);
  const QStringList before = mailsAt(port);

  const Run result = run(folder.path(), arguments, input);

  QVERIFY2(result.status == status, qPrintable(QString::number(result.status) + u' ' + result.err));
  if (error.isEmpty())
    QCOMPARE(result.err, QString());
  else
    QVERIFY2(result.err.startsWith(QStringLiteral("talvenor-send: ")) && result.err.contains(error),
             qPrintable(result.err));
  if (arrives.isEmpty()) {
    QCOMPARE(mailsAt(port), before);
    if (arguments.contains(QStringLiteral("--dry-run"))) QVERIFY(result.out.contains(QStringLiteral("SUBJECT:")));
    return;
  }
  QCOMPARE(mailsAt(port).size(), before.size() + 1);
  const QJsonObject mail = readBack(mailsAt(port).last());
  QString body = mail.value(QStringLiteral("body")).toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  while (body.endsWith(u'\n')) body.chop(1);
  QCOMPARE(body, arrives);
  // The log, as the window keeps it, in the settings' folder.
  int logs = 0;
  for (QDirIterator it(folder.path() + QStringLiteral("mailLOG"), QDir::Files, QDirIterator::Subdirectories);
       it.hasNext(); it.next())
    ++logs;
  QCOMPARE(logs, 1);
}

void TstSendCommand::certificates_data() {
  QTest::addColumn<QString>("server");
  QTest::addColumn<int>("port");
  QTest::addColumn<bool>("auth");  // the server offers AUTH
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("error");  // empty: sent
  const QString host = QStringLiteral("localhost");
  const QString mail = QStringLiteral("mail.example.test");
  const QString notVerified = QStringLiteral("サーバの証明書を確認できませんでした");
  const QString noTls = QStringLiteral("暗号化通信（TLS）を開始できませんでした。");
  // The ports of run_real_servers.sh, each with its certificate.
  QTest::newRow("certificate for another name") << host << 4651 << true << 69 << notVerified;
  QTest::newRow("expired certificate") << host << 4652 << true << 69 << notVerified;
  QTest::newRow("CN names the server, subjectAltName another host") << mail << 4655 << false << 69 << notVerified;
  QTest::newRow("IP address only in the CN") << QStringLiteral("127.0.0.1") << 4656 << false << 69 << notVerified;
  QTest::newRow("partial wildcard m*.example.test") << mail << 4657 << false << 69 << notVerified;
  QTest::newRow("wildcard *.example.test") << mail << 4658 << false << 0 << QString();
  QTest::newRow("wildcard, the name typed in upper case")
      << QStringLiteral("MAIL.Example.TEST") << 4658 << false << 0 << QString();
  QTest::newRow("the certificate's name in upper case") << mail << 4659 << false << 0 << QString();
  QTest::newRow("CN only, no subjectAltName at all") << mail << 4660 << false << 0 << QString();
  QTest::newRow("address in the subjectAltName") << QStringLiteral("127.0.0.1") << 465 << true << 0 << QString();
  QTest::newRow("closed during the handshake") << host << 4654 << false << 69 << noTls;
  QTest::newRow("no TLS reply") << host << 25 << false << 69 << noTls;
}

// The command checks the server's certificate as strictly as the window: the chain, the dates and the
// name by RFC 6125's rules.
void TstSendCommand::certificates() {
  QFETCH(QString, server);
  QFETCH(int, port);
  QFETCH(bool, auth);
  QFETCH(int, status);
  QFETCH(QString, error);
  TempAppFolder folder;
  writeSettings(folder, port, Smtp::Ssl, QStringLiteral("secret"), server);
  MailSettings settings = SettingsInUse::mailSettings();
  settings.smtpAuth = auth;
  SettingsInUse::writeMailSettings(settings);
  const QStringList before = mailsAt(port);

  const Run result = run(folder.path(), {}, "本文\n");

  QVERIFY2(result.status == status, qPrintable(QString::number(result.status) + u' ' + result.err));
  if (status == 0) {
    QCOMPARE(result.err, QString());
    QCOMPARE(mailsAt(port).size(), before.size() + 1);
  } else {
    QVERIFY2(result.err.contains(error), qPrintable(result.err));
    QCOMPARE(mailsAt(port), before);
  }
}

// Each run logs in to POP first (over STLS here): a process has no earlier
// login to rely on.
void TstSendCommand::popBeforeSmtpLogsInFirst() {
  const auto popLogins = [] {
    QFile log(qEnvironmentVariable("TALVENOR_POP_LOG"));
    return log.open(QIODevice::ReadOnly) ? log.readAll().count("Login: user=<") : qsizetype(0);
  };
  TempAppFolder folder;
  writeSettings(folder, 25, Smtp::None, QString());
  MailSettings settings = SettingsInUse::mailSettings();
  settings.popBeforeSmtp = true;
  settings.popServer = QStringLiteral("localhost");
  settings.popUser = QStringLiteral("taro");
  settings.popPassword = QStringLiteral("secret");
  settings.popSecurity = MailSettings::PopSecurity::Stls;
  SettingsInUse::writeMailSettings(settings);
  for (int send = 1; send <= 2; ++send) {
    const qsizetype before = popLogins();
    const QStringList mails = mailsAt(25);
    const Run result = run(folder.path(), {QStringLiteral("--body"), QStringLiteral("本文")}, QByteArray());
    QVERIFY2(result.status == 0, qPrintable(result.err));
    QCOMPARE(mailsAt(25).size(), mails.size() + 1);
    QTRY_COMPARE(popLogins(), before + 1);
  }
}

void TstSendCommand::endlessStandardInput_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<int>("status");
  QTest::addColumn<QString>("arrives");  // the body as read back; empty: nothing arrives
  QTest::newRow("carrier with a limit") << QStringList() << 65 << QString();
  QTest::newRow("carrier without a limit") << QStringList{QStringLiteral("-c"), QStringLiteral("制限なし")} << 65
                                           << QString();
  QTest::newRow("--truncate sends what the limit holds")
      << QStringList{QStringLiteral("--truncate")} << 0 << QStringLiteral("あ\n").repeated(10).chopped(1);
  QTest::newRow("--truncate, carrier without a limit")
      << QStringList{QStringLiteral("--truncate"), QStringLiteral("-c"), QStringLiteral("制限なし")} << 65 << QString();
}

// Standard input that never ends is read only as far as the limit could
// take (1 MiB without a limit): refused, or cut with --truncate, at once.
void TstSendCommand::endlessStandardInput() {
  QFETCH(QStringList, arguments);
  QFETCH(int, status);
  QFETCH(QString, arrives);
  TempAppFolder folder;
  writeSettings(folder, 25, Smtp::None, QString());
  const QStringList before = mailsAt(25);
  QProcess command;
  command.start(QStringLiteral("sh"), QStringList{QStringLiteral("-c"),
                                                  QStringLiteral("yes あ | exec \"$0\" --config \"$@\""),
                                                  qEnvironmentVariable("TALVENOR_SEND"), folder.path()} +
                                          arguments);
  QVERIFY(command.waitForFinished(60000));
  const QString err = QString::fromUtf8(command.readAllStandardError());
  QVERIFY2(command.exitCode() == status, qPrintable(err));
  if (arrives.isEmpty()) {
    QVERIFY2(err.startsWith(QStringLiteral("talvenor-send: 本文が長すぎます。")), qPrintable(err));
    QCOMPARE(mailsAt(25), before);
    return;
  }
  QCOMPARE(mailsAt(25).size(), before.size() + 1);
  QString body = readBack(mailsAt(25).last()).value(QStringLiteral("body")).toString();
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  while (body.endsWith(u'\n')) body.chop(1);
  QCOMPARE(body, arrives);
}

// A line break in the subject goes as one line (the engine sends it so):
// the dry run shows no header the send would not send.
void TstSendCommand::dryRunPrintsTheHeadersSent() {
  TempAppFolder folder;
  writeSettings(folder, 25, Smtp::None, QString());
  MailSettings settings = SettingsInUse::mailSettings();
  settings.charset = MailSettings::Charset::ShiftJis;  // the subject unencoded
  SettingsInUse::writeMailSettings(settings);
  const QStringList arguments{QStringLiteral("-s"), QStringLiteral("hi\r\nBcc: spy@talvenor.test"), QStringLiteral("--body"),
                              QStringLiteral("本文")};

  const Run dryRun = run(folder.path(), arguments + QStringList{QStringLiteral("--dry-run")}, QByteArray());
  const Run sent = run(folder.path(), arguments, QByteArray());

  QCOMPARE(dryRun.status, 0);
  QCOMPARE(sent.status, 0);
  QFile message(mailsAt(25).last());
  QVERIFY(message.open(QIODevice::ReadOnly));
  const QByteArray wire = message.readAll();
  const QString printed = dryRun.out.left(dryRun.out.indexOf(QStringLiteral("\r\n\r\n")));
  for (const QString& line : printed.split(QStringLiteral("\r\n"))) {
    // The second and the message's own ID differ from run to run.
    if (line.startsWith(QStringLiteral("Date:")) || line.startsWith(QStringLiteral("Message-ID:"))) continue;
    QVERIFY2(wire.contains(line.toUtf8() + "\r\n") || wire.contains(line.toUtf8() + "\n"), qPrintable(line));
  }
  QVERIFY2(!printed.contains(QStringLiteral("\nBcc:"), Qt::CaseInsensitive), qPrintable(printed));
}

// Standard input that cannot be read is not an empty body: nothing is sent.
void TstSendCommand::unreadableStandardInput() {
  TempAppFolder folder;
  writeSettings(folder, 25, Smtp::None, QString());
  const QStringList before = mailsAt(25);
  QProcess command;
  command.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exec \"$0\" --config \"$1\" < /"),
                                       qEnvironmentVariable("TALVENOR_SEND"), folder.path()});
  QVERIFY(command.waitForFinished(30000));
  QCOMPARE(command.exitCode(), 66);
  QVERIFY(QString::fromUtf8(command.readAllStandardError()).startsWith(QStringLiteral("talvenor-send: 本文を標準入力から読めません。")));
  QCOMPARE(mailsAt(25), before);
}

// A terminal on standard input and no --body is a usage error, not a wait.
void TstSendCommand::terminalOnStandardInput() {
  TempAppFolder folder;
  writeSettings(folder, 587, Smtp::StartTls, QStringLiteral("secret"));
  QProcess script;
  script.start(QStringLiteral("script"),
               {QStringLiteral("-qec"), qEnvironmentVariable("TALVENOR_SEND") + QStringLiteral(" --config ") +
                                            folder.path(),
                QStringLiteral("/dev/null")});
  QVERIFY(script.waitForFinished(30000));
  QCOMPARE(script.exitCode(), 64);
}

void TstSendCommand::missingSettings() {
  QTemporaryDir empty;
  const Run result = run(empty.path(), {QStringLiteral("--body"), QStringLiteral("x")}, QByteArray());
  QCOMPARE(result.status, 78);
  QVERIFY(result.err.contains(QStringLiteral("設定ファイルが見つかりません。")));
}

void TstSendCommand::settingsNotUsable_data() {
  QTest::addColumn<bool>("configOption");  // --config names the program's folder, which has no Data.ini
  QTest::addColumn<QString>("error");  // relative to the temporary root
  QTest::newRow("--config folder without Data.ini")
      << true << QStringLiteral("設定ファイルが見つかりません。(Data.ini) ROOT/prefix/bin/Data.ini");
  QTest::newRow("installed, the settings folder another user's")
      << false << QStringLiteral("設定ファイルを安全に読めないため使えません。(Data.ini) ROOT/home/talvenor: 所有者が異なります");
}

// The command, installed (a shipped default beside it), uses only the
// settings it was told of and that are the user's alone; else it ends with
// 78 and makes nothing anywhere.
void TstSendCommand::settingsNotUsable() {
  QFETCH(bool, configOption);
  QFETCH(QString, error);
  QTemporaryDir root;
  const QString program = root.path() + QStringLiteral("/prefix/bin/");
  const QString home = root.path() + QStringLiteral("/home");
  QVERIFY(QDir().mkpath(program) && QDir().mkpath(root.path() + QStringLiteral("/prefix/share/talvenor")));
  QVERIFY(QFile::copy(qEnvironmentVariable("TALVENOR_SEND"), program + QStringLiteral("talvenor-send")));
  QVERIFY(QFile::copy(qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/Data.ini"),
                      root.path() + QStringLiteral("/prefix/share/talvenor/Data.ini")));
  if (!configOption) {
    QVERIFY(QDir().mkpath(home + QStringLiteral("/talvenor")));
    QVERIFY(QFile::copy(qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/Data.ini"),
                        home + QStringLiteral("/talvenor/Data.ini")));
    QCOMPARE(QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("65534"), home + QStringLiteral("/talvenor")}), 0);
  }
  QProcess command;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
  command.setProcessEnvironment(environment);
  QStringList arguments{QStringLiteral("--body"), QStringLiteral("x"), QStringLiteral("hanako@talvenor.test")};
  if (configOption) arguments << QStringLiteral("--config") << program;
  command.start(program + QStringLiteral("talvenor-send"), arguments);
  QVERIFY(command.waitForFinished(30000));

  QCOMPARE(command.exitCode(), 78);
  const QString err = QString::fromUtf8(command.readAllStandardError());
  QVERIFY2(err.contains(QString(error).replace(QStringLiteral("ROOT"), root.path())), qPrintable(err));
  if (configOption) QVERIFY(!QFileInfo::exists(home));
  QCOMPARE(QDir(program).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("talvenor-send")});
}

// A session bus that takes every connection and never says a word: the
// keyring's answer is waited for 10 s, then the send ends with 77.
void TstSendCommand::keyringThatNeverAnswers() {
  QTemporaryDir busFolder;
  const QString bus = busFolder.filePath(QStringLiteral("bus"));
  QProcess silentBus;
  silentBus.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral("-c"), QStringLiteral("import socket,sys,time\n"
                                                        "s=socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen(8)\n"
                                                        "held=[]\n"
                                                        "while True: held.append(s.accept())"),
                   bus});
  QVERIFY(silentBus.waitForStarted());
  QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(bus), 10000);
  TempAppFolder folder;
  writeSettings(folder, 587, Smtp::StartTls, QString());
  MailSettings settings = SettingsInUse::mailSettings();
  settings.passwordStore = MailSettings::PasswordStore::Keyring;
  SettingsInUse::writeMailSettings(settings);
  const QStringList before = mailsAt(587);
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(bus));

  const Run result = run(folder.path(), {QStringLiteral("--body"), QStringLiteral("本文")}, QByteArray());

  qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  silentBus.kill();
  silentBus.waitForFinished();
  QVERIFY2(result.status == 77, qPrintable(QString::number(result.status) + u' ' + result.err));
  QVERIFY2(result.err.startsWith(QStringLiteral("talvenor-send: ")), qPrintable(result.err));
  QCOMPARE(mailsAt(587), before);
}

// A qt.conf someone put beside the command (here: logging rules that would
// print the whole dialogue) is never read; Qt keeps its own paths.
void TstSendCommand::plantedQtConfIsNotRead() {
  TempAppFolder folder;
  writeSettings(folder, 25, Smtp::None, QString());
  const QString command = folder.path() + QStringLiteral("talvenor-send");
  QVERIFY(QFile::copy(qEnvironmentVariable("TALVENOR_SEND"), command));
  QVERIFY(QDir().mkpath(folder.path() + QStringLiteral("planted")));
  QFile rules(folder.path() + QStringLiteral("planted/qtlogging.ini"));
  QVERIFY(rules.open(QIODevice::WriteOnly));
  rules.write("[Rules]\ntalvenor.transcript.debug=true\n");
  rules.close();
  QFile conf(folder.path() + QStringLiteral("qt.conf"));
  QVERIFY(conf.open(QIODevice::WriteOnly));
  conf.write("[Paths]\nData=" + QFile::encodeName(folder.path() + QStringLiteral("planted")) + "\n");
  conf.close();
  const QStringList before = mailsAt(25);

  QProcess send;
  send.start(command, {QStringLiteral("--body"), QStringLiteral("本文")});
  QVERIFY(send.waitForFinished(60000));

  QCOMPARE(send.exitCode(), 0);
  QCOMPARE(QString::fromUtf8(send.readAllStandardError()), QString());
  QCOMPARE(mailsAt(25).size(), before.size() + 1);
}

// It runs over ssh and from cron: no QtWidgets, no QtGui.
void TstSendCommand::noWidgetsNoGui() {
  QProcess ldd;
  ldd.start(QStringLiteral("ldd"), {qEnvironmentVariable("TALVENOR_SEND")});
  QVERIFY(ldd.waitForFinished(30000));
  const QByteArray libraries = ldd.readAllStandardOutput();
  QVERIFY(libraries.contains("libQt6Core"));
  QVERIFY2(!libraries.contains("libQt6Widgets") && !libraries.contains("libQt6Gui"), libraries.constData());
}

QTEST_GUILESS_MAIN(TstSendCommand)
#include "tst_send_command.moc"
