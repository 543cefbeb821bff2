// The connection test against the real mail servers of
// tests/servers/run_real_servers.sh (and the silent port of
// run_account_setup_servers.sh): the right settings, each wrong pair with
// the pair that works offered, a wrong password, a certificate refused;
// no mail sent, no password in clear, nothing left connected.
#include "connection_probe.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSslConfiguration>
#include <QTest>

using Smtp = MailSettings::SmtpSecurity;
using Step = ProbeStepReport::Step;

namespace {

const QString kPassword = QStringLiteral("secret");

ProbeSettings settings(int port, Smtp security, bool auth, const QString& password = kPassword) {
  return {QStringLiteral("localhost"), std::uint16_t(port), security, auth, QStringLiteral("taro"), password};
}

QByteArray captured(int port) {
  QFile file(qEnvironmentVariable("TALVENOR_CAPTURES") + QLatin1Char('/') + QString::number(port));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Mails the servers took, all ports together.
int mailsTaken() {
  int count = 0;
  for (const QString& root : {qEnvironmentVariable("TALVENOR_SECURE_SPOOL"), qEnvironmentVariable("TALVENOR_SMTP_SPOOL")}) {
    QDirIterator it(root, {QStringLiteral("envelope.json")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) it.next(), ++count;
  }
  return count;
}

// Connections of this process still established to the port.
QString connectionsTo(int port) {
  QProcess ss;
  ss.start(QStringLiteral("ss"), {QStringLiteral("-Htn"), QStringLiteral("state"), QStringLiteral("established"),
                                   QStringLiteral("( dport = :%1 )").arg(port)});
  ss.waitForFinished();
  return QString::fromLocal8Bit(ss.readAllStandardOutput()).trimmed();
}

struct ProbeRun {
  ConnectionProbe probe;
  QList<ProbeStepReport> steps;
  std::optional<ProbeResult> result;

  ProbeRun() {
    QObject::connect(&probe, &ConnectionProbe::stepReported, [this](const ProbeStepReport& r) { steps << r; });
    QObject::connect(&probe, &ConnectionProbe::finished, [this](const ProbeResult& r) { result = r; });
  }
  void run(const ProbeSettings& chosen) {
    result.reset();
    steps.clear();
    probe.start(chosen);
  }
  QString lines() const {
    QStringList all;
    for (const ProbeStepReport& r : steps) all << r.settings + QLatin1Char(' ') + r.text + QLatin1Char(' ') + r.serverText;
    return all.join(QLatin1Char('\n'));
  }
};

}  // namespace

class TstConnectionProbe : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void works_data();
  void works();
  void wrongPairOffersOneThatWorks_data();
  void wrongPairOffersOneThatWorks();
  void failsWithTheServersWords_data();
  void failsWithTheServersWords();
  void neverSendsThePasswordInClear();
  void resultNeverDependsOnAnEarlierConnection();
  void cancelAtAnyMoment_data();
  void cancelAtAnyMoment();
};

void TstConnectionProbe::initTestCase() {
  if (qEnvironmentVariableIsEmpty("TALVENOR_SILENT_PORT"))
    QSKIP("needs the servers of tests/servers/run_account_setup_servers.sh");
  QSslConfiguration config = QSslConfiguration::defaultConfiguration();
  config.addCaCertificates(qEnvironmentVariable("TALVENOR_TEST_CA"));
  QSslConfiguration::setDefaultConfiguration(config);
}

void TstConnectionProbe::works_data() {
  QTest::addColumn<int>("port");
  QTest::addColumn<int>("security");
  QTest::addColumn<bool>("auth");
  QTest::addColumn<QString>("lastSteps");  // what the report ends with
  QTest::newRow("STARTTLS and AUTH") << 587 << int(Smtp::StartTls) << true << "StartTls,Tls,Ehlo,Auth,Quit";
  QTest::newRow("SSL/TLS and AUTH") << 465 << int(Smtp::Ssl) << true << "Ehlo,Auth,Quit";
  QTest::newRow("CRAM-MD5 in clear") << 2525 << int(Smtp::None) << true << "Ehlo,Auth,Quit";
  QTest::newRow("no encryption, no AUTH") << 25 << int(Smtp::None) << false << "Greeting,Ehlo,Quit";
}

void TstConnectionProbe::works() {
  QFETCH(int, port);
  QFETCH(int, security);
  QFETCH(bool, auth);
  QFETCH(QString, lastSteps);
  const int mailsBefore = mailsTaken();
  ProbeRun run;
  run.run(settings(port, Smtp(security), auth));
  QTRY_VERIFY_WITH_TIMEOUT(run.result, 60000);
  QVERIFY2(run.result->works, qPrintable(run.lines()));
  QCOMPARE(run.result->summary, QStringLiteral("この設定で送信できます。"));
  QVERIFY(!run.result->alternative);
  static const QStringList names = {"Connect", "Tls", "Greeting", "Ehlo", "StartTls", "Auth", "Quit"};
  QStringList steps;
  for (const ProbeStepReport& step : std::as_const(run.steps)) {
    QVERIFY(step.ok);
    steps << names[int(step.step)];
  }
  QVERIFY2(steps.join(QLatin1Char(',')).endsWith(lastSteps), qPrintable(steps.join(QLatin1Char(','))));
  QCOMPARE(mailsTaken(), mailsBefore);
  if (Smtp(security) == Smtp::None && port != 25) {  // a wire to read in clear
    QVERIFY(captured(port).contains("QUIT"));
    QVERIFY(!captured(port).contains("MAIL FROM"));
  }
}

void TstConnectionProbe::wrongPairOffersOneThatWorks_data() {
  QTest::addColumn<int>("port");
  QTest::addColumn<int>("security");
  QTest::addColumn<int>("failedStep");
  const int silent = qEnvironmentVariableIntValue("TALVENOR_SILENT_PORT");
  QTest::newRow("SSL/TLS on the STARTTLS port") << 587 << int(Smtp::Ssl) << int(Step::Tls);
  QTest::newRow("SSL/TLS on a plain port") << 25 << int(Smtp::Ssl) << int(Step::Tls);
  QTest::newRow("STARTTLS on the TLS port") << 465 << int(Smtp::StartTls) << int(Step::Greeting);
  QTest::newRow("no encryption on the TLS port") << 465 << int(Smtp::None) << int(Step::Greeting);
  QTest::newRow("no encryption where AUTH needs STARTTLS") << 587 << int(Smtp::None) << int(Step::Auth);
  QTest::newRow("STARTTLS where none is offered") << 25 << int(Smtp::StartTls) << int(Step::StartTls);
  QTest::newRow("a silent port") << silent << int(Smtp::None) << int(Step::Greeting);
  QTest::newRow("nothing listens") << 2599 << int(Smtp::StartTls) << int(Step::Connect);
}

void TstConnectionProbe::wrongPairOffersOneThatWorks() {
  QFETCH(int, port);
  QFETCH(int, security);
  QFETCH(int, failedStep);
  ProbeRun run;
  run.run(settings(port, Smtp(security), true));
  QTRY_VERIFY_WITH_TIMEOUT(run.result, 90000);
  QVERIFY(!run.result->works);
  QCOMPARE(int(run.result->failedStep), failedStep);
  QVERIFY2(run.result->alternative, qPrintable(run.lines()));
  QCOMPARE(int(run.result->alternative->port), 465);
  QCOMPARE(run.result->alternative->security, Smtp::Ssl);
  QVERIFY(run.result->alternative->password.isEmpty());
  QVERIFY(run.result->advice.contains(QStringLiteral("localhost:465")));
}

void TstConnectionProbe::failsWithTheServersWords_data() {
  QTest::addColumn<int>("port");
  QTest::addColumn<int>("security");
  QTest::addColumn<bool>("auth");
  QTest::addColumn<QString>("password");
  QTest::addColumn<int>("failedStep");
  QTest::addColumn<QString>("serverSaid");  // the start of the server's words; empty: none
  QTest::addColumn<QString>("advice");      // a part of the advice
  QTest::newRow("wrong password") << 587 << int(Smtp::StartTls) << true << "wrong" << int(Step::Auth) << "535" << "パスワード";
  QTest::newRow("AUTH not offered") << 25 << int(Smtp::None) << true << kPassword << int(Step::Auth) << "" << "SMTP 認証を使わない";
  QTest::newRow("certificate for another name") << 4651 << int(Smtp::Ssl) << true << kPassword << int(Step::Tls) << "" << "サーバ名";
  QTest::newRow("unknown CA") << 4653 << int(Smtp::Ssl) << true << kPassword << int(Step::Tls) << "" << "サーバ名";
}

void TstConnectionProbe::failsWithTheServersWords() {
  QFETCH(int, port);
  QFETCH(int, security);
  QFETCH(bool, auth);
  QFETCH(QString, password);
  QFETCH(int, failedStep);
  QFETCH(QString, serverSaid);
  QFETCH(QString, advice);
  ProbeRun run;
  run.run(settings(port, Smtp(security), auth, password));
  QTRY_VERIFY_WITH_TIMEOUT(run.result, 60000);
  QVERIFY(!run.result->works);
  QCOMPARE(int(run.result->failedStep), failedStep);
  QVERIFY(!run.result->alternative);
  if (serverSaid.isEmpty()) QVERIFY2(run.result->serverText.isEmpty(), qPrintable(run.result->serverText));
  else QVERIFY2(run.result->serverText.startsWith(serverSaid), qPrintable(run.result->serverText));
  QVERIFY2(run.result->advice.contains(advice), qPrintable(run.result->advice));
  QVERIFY(!run.steps.isEmpty());
  QVERIFY(!run.steps.last().ok);
  QCOMPARE(int(run.steps.last().step), failedStep);
}

// Only PLAIN and LOGIN offered on an unencrypted port: the password never
// crosses the wire, in the test or in the other pairs it tries.
void TstConnectionProbe::neverSendsThePasswordInClear() {
  ProbeRun run;
  run.run(settings(2526, Smtp::None, true));
  QTRY_VERIFY_WITH_TIMEOUT(run.result, 60000);
  QVERIFY(!run.result->works);
  QCOMPARE(run.result->failedStep, Step::Auth);
  const QByteArray wire = captured(2526);
  QVERIFY(wire.contains("EHLO"));
  QVERIFY(!wire.contains("AUTH"));
  QVERIFY(!wire.contains(kPassword.toUtf8()));
  QVERIFY(!wire.contains(kPassword.toUtf8().toBase64()));
}

// The same probe, one test after another: each answers for its own settings.
void TstConnectionProbe::resultNeverDependsOnAnEarlierConnection() {
  ProbeRun run;
  run.run(settings(587, Smtp::StartTls, true, QStringLiteral("wrong")));
  QTRY_VERIFY_WITH_TIMEOUT(run.result, 60000);
  QVERIFY(!run.result->works);
  run.run(settings(587, Smtp::StartTls, true));
  QTRY_VERIFY_WITH_TIMEOUT(run.result, 60000);
  QVERIFY2(run.result->works, qPrintable(run.lines()));
  run.run(settings(2526, Smtp::None, true));
  QTRY_VERIFY_WITH_TIMEOUT(run.result, 60000);
  QVERIFY(!run.result->works);
  // A test started while another runs replaces it: only the new one answers.
  run.run(settings(qEnvironmentVariableIntValue("TALVENOR_SILENT_PORT"), Smtp::None, false));
  run.run(settings(465, Smtp::Ssl, true));
  QTRY_VERIFY_WITH_TIMEOUT(run.result, 60000);
  QVERIFY2(run.result->works, qPrintable(run.lines()));
}

// Cancelled or destroyed after any step: no connection stays open and
// nothing more is reported.
void TstConnectionProbe::cancelAtAnyMoment_data() {
  QTest::addColumn<int>("afterSteps");
  QTest::addColumn<bool>("destroy");
  for (int steps = 0; steps <= 6; ++steps) {
    QTest::addRow("cancel after %d steps", steps) << steps << false;
    QTest::addRow("destroy after %d steps", steps) << steps << true;
  }
}

void TstConnectionProbe::cancelAtAnyMoment() {
  QFETCH(int, afterSteps);
  QFETCH(bool, destroy);
  auto* probe = new ConnectionProbe;
  QPointer<ConnectionProbe> alive(probe);
  int steps = 0;
  bool finished = false;
  auto stop = [&] { destroy ? probe->deleteLater() : probe->cancel(); };
  connect(probe, &ConnectionProbe::stepReported, probe, [&] {
    if (++steps == afterSteps) stop();
  });
  connect(probe, &ConnectionProbe::finished, probe, [&] { finished = true; });
  probe->start(settings(587, Smtp::StartTls, true));
  if (afterSteps == 0) stop();
  QTRY_VERIFY_WITH_TIMEOUT(steps >= afterSteps || finished, 60000);
  if (destroy) QTRY_VERIFY(alive.isNull());
  else QVERIFY(!probe->isRunning());
  QTRY_COMPARE(connectionsTo(587), QString());
  QVERIFY(!finished);
  if (!destroy) QCOMPARE(steps, afterSteps);
  delete alive.data();
}

QTEST_GUILESS_MAIN(TstConnectionProbe)
#include "tst_connection_probe.moc"
