#include "send_command.h"

#include "app_places.h"
#include "body_input.h"
#include "data_ini_layout.h"
#include "settings_file.h"
#include "mail_settings.h"
#include "login_secrets.h"
#include "mail_text.h"
#include "mail_transmission.h"
#include "password_store.h"
#include "send_report.h"
#include "smtp_dialogue.h"
#include "talvenor_version.h"
#include "tcp_socket_control.h"
#include "tls_stream.h"
#include "connection_errors.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTextStream>

#include <cstdio>
#include <thread>
#include <unistd.h>

namespace SendCommand {
namespace {

using Kind = SendFailure::Kind;

const QString kUsage = QStringLiteral(
    "使い方: talvenor-send [オプション] [宛先]\n"
    "Usage:  talvenor-send [options] [RECIPIENT]\n\n"
    "Data.ini の設定で、携帯電話へ短いメールを 1 通送ります。本文は --body か標準入力から読みます。\n"
    "Sends one short mail to a phone with the settings of Data.ini; the body comes from --body or\n"
    "standard input.");

// One line (or more) on standard error, as the window's box would say it.
void tell(const QString& text) {
  QString lines = text;
  lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  QTextStream err(stderr);
  for (const QString& line : lines.split(u'\n'))
    if (!line.isEmpty()) err << "talvenor-send: " << line << '\n';
}

ExitStatus usage(const QString& why) {
  tell(why);
  tell(QStringLiteral("talvenor-send --help で使い方を表示します。 (see talvenor-send --help)"));
  return ExitStatus::Usage;
}

ExitStatus statusOf(const SendFailure& failure) {
  switch (failure.kind) {
    case Kind::ControlCharacterInSetting: return ExitStatus::Configuration;
    case Kind::KeyringUnavailable:
    case Kind::AuthFailed:
    case Kind::PopRefused: return ExitStatus::Permission;
    case Kind::SmtpRefused:
      return failure.serverText.startsWith(u'4') ? ExitStatus::Temporary : ExitStatus::Unavailable;
    case Kind::NoAnswer:
    case Kind::ClosedEarly: return ExitStatus::Temporary;
    case Kind::SocketError:
      switch (failure.socketError) {
        case WsaError::WSAHOST_NOT_FOUND:
        case WsaError::WSANO_DATA: return ExitStatus::NoHost;
        case WsaError::WSAETIMEDOUT:
        case WsaError::WSAECONNRESET: return ExitStatus::Temporary;
        default: return ExitStatus::Unavailable;
      }
    default: return ExitStatus::Unavailable;
  }
}

// The carrier named or numbered on the command line, else the saved one;
// -1 when there is none.
int carrierIndex(const IniDocument& ini, const QString& wanted, bool& known) {
  known = true;
  const int count = DataIni::carrierCount(ini);
  if (wanted.isEmpty()) return DataIni::defaultCarrier(ini);
  bool isNumber = false;
  const int number = wanted.toInt(&isNumber);
  if (isNumber && number >= 0 && number < count) return number;
  for (int i = 0; i < count; ++i)
    if (DataIni::carrierName(ini, i) == wanted) return i;
  known = false;
  return -1;
}

struct Typed {
  QString recipient;
  QString subject;
  QString body;  // CR LF line breaks
};

// At most this much of standard input is read: a body within the carrier's
// limit is never longer in UTF-8 (4 bytes at most a character, which counts
// at least 1), and a carrier without a limit still gets no more than 1 MiB.
// An endless or huge input is refused at once instead of filling memory.
constexpr qsizetype kUnlimitedBodyBytes = 1024 * 1024;
qsizetype inputCap(qsizetype limit) { return limit > 0 ? 4 * limit + 8 : kUnlimitedBodyBytes; }

// Standard input up to cap bytes; `more` says it went on past them.
bool readStandardInput(qsizetype cap, QByteArray& bytes, bool& more, QString& error) {
  QFile in;
  if (!in.open(stdin, QIODevice::ReadOnly)) {
    error = in.errorString();
    return false;
  }
  while (bytes.size() <= cap) {
    const QByteArray chunk = in.read(cap + 1 - bytes.size());
    if (chunk.isEmpty()) break;  // the end, or an error told below
    bytes += chunk;
  }
  // A read that fails (standard input a directory, say) is not an empty body.
  if (in.error() != QFileDevice::NoError) {
    error = in.errorString();
    return false;
  }
  more = bytes.size() > cap;
  bytes.truncate(cap);
  return true;
}

// The body from --body or standard input; a status when it cannot be had.
// With --truncate, input past what the carrier's limit can hold is left
// unread; without, it is refused.
std::optional<ExitStatus> readBody(const QCommandLineParser& options, qsizetype limit, QString& body) {
  QByteArray bytes;
  if (options.isSet(QStringLiteral("body"))) {
    bytes = options.value(QStringLiteral("body")).toUtf8();
  } else {
    if (::isatty(STDIN_FILENO)) return usage(QStringLiteral("本文がありません: --body を指定するか、標準入力から渡してください。"));
    const qsizetype cap = inputCap(limit);
    bool more = false;
    QString error;
    if (!readStandardInput(cap, bytes, more, error)) {
      tell(QStringLiteral("本文を標準入力から読めません。") + u' ' + error);
      return ExitStatus::NoInput;
    }
    if (more && (limit == 0 || !options.isSet(QStringLiteral("truncate")))) {
      tell(QStringLiteral("本文が長すぎます。（標準入力が %1 バイトを超えました）").arg(cap));
      return ExitStatus::DataRefused;
    }
    if (more) bytes = BodyInput::withoutCutCharacter(bytes);  // what is kept is cut far before
  }
  if (const auto offset = BodyInput::firstInvalidUtf8(bytes)) {
    tell(QStringLiteral("本文が UTF-8 ではありません（%1 バイト目）。").arg(*offset));
    return ExitStatus::DataRefused;
  }
  body = BodyInput::asMailBody(QString::fromUtf8(bytes));
  return std::nullopt;
}

ExitStatus reported(const SendFailure& failure) {
  tell(SendReport::failureText(failure));
  return statusOf(failure);
}

// Fetches the passwords, sends with the engine and waits for its report.
ExitStatus send(const MailSettings& settings, const Typed& mail) {
  TcpSocketControl socket;
  MailTransmission engine(socket);
  LoginSecrets secrets;
  // Nobody watches a script: a keyring that never answers is unreachable.
  Keyring keyring;
  keyring.limitReadWait(10);
  const PasswordStore passwords(SettingsFile::inUse(), keyring);
  if (const std::optional<SendFailure> failure = fetchLoginSecrets(
          passwords, settings, settings.smtpAuth, engine.logsInToPopFirst(settings), secrets))
    return reported(*failure);
  QEventLoop loop;
  ExitStatus status = ExitStatus::Sent;
  QObject::connect(&engine, &MailTransmission::failed, &loop, [&](const SendFailure& failure) {
    status = reported(failure);
    loop.quit();
  });
  QObject::connect(&engine, &MailTransmission::sent, &loop, [&](const MailLog::LogResult& log) {
    // Sent all the same: only the record is missing.
    if (!log.written) tell(QStringLiteral("送信ログを書き込めませんでした: ") + log.path + u' ' + log.reason);
    loop.quit();
  });
  engine.send(settings, std::move(secrets), MailLog::placeInUse(), mail.recipient, mail.subject, mail.body);
  if (engine.busy()) loop.exec();
  return status;
}

void declareOptions(QCommandLineParser& options) {
  options.setApplicationDescription(kUsage);
  options.addPositionalArgument(QStringLiteral("recipient"), QStringLiteral("宛先 / the recipient"), QStringLiteral("[宛先]"));
  options.addOption({{QStringLiteral("t"), QStringLiteral("to")}, QStringLiteral("宛先 / the recipient"), QStringLiteral("address")});
  options.addOption({QStringLiteral("entry"), QStringLiteral("アドレス帳の 1〜4 番 (0: 保存された宛先) / address book entry"), QStringLiteral("N")});
  options.addOption({{QStringLiteral("s"), QStringLiteral("subject")}, QStringLiteral("題名 / the subject"), QStringLiteral("text")});
  options.addOption({QStringLiteral("body"), QStringLiteral("本文 (省略時は標準入力) / the body (default: standard input)"), QStringLiteral("text")});
  options.addOption({{QStringLiteral("c"), QStringLiteral("carrier")}, QStringLiteral("キャリアの名前か番号 / carrier name or index"), QStringLiteral("name")});
  options.addOption({QStringLiteral("truncate"), QStringLiteral("上限を超える本文を切り詰める / cut a body over the limit")});
  options.addOption({QStringLiteral("dry-run"), QStringLiteral("送らずにメールの本文を表示する / print the mail, send nothing")});
  options.addOption({QStringLiteral("config"), QStringLiteral("Data.ini のあるフォルダ / the folder holding Data.ini"), QStringLiteral("folder")});
  options.addOption({QStringLiteral("debug"), QStringLiteral("サーバとのやり取りを標準エラーへ / the dialogue on standard error")});
  options.addOption({{QStringLiteral("V"), QStringLiteral("version")}, QStringLiteral("版を表示する / show the version")});
}

// The recipient: given, from the address book, or the saved one.
std::optional<ExitStatus> takeRecipient(const IniDocument& ini, const QCommandLineParser& options, QString& recipient) {
  const QString saved = DataIni::readScrambled(ini, DataIni::Section::MAIL, DataIni::Key::To);
  recipient = options.value(QStringLiteral("to"));
  if (recipient.isEmpty() && !options.positionalArguments().isEmpty()) recipient = options.positionalArguments().first();
  if (recipient.isEmpty() && options.isSet(QStringLiteral("entry"))) {
    bool ok = false;
    const int entry = options.value(QStringLiteral("entry")).toInt(&ok);
    if (!ok || entry < 0 || entry > 4) return usage(QStringLiteral("--entry は 0 から 4 までです。"));
    recipient = entry == 0 ? saved : DataIni::readScrambled(ini, DataIni::Section::AddrIndex, DataIni::indexKey(entry));
    // An entry asked for by number is never silently another recipient.
    if (entry != 0 && recipient.trimmed().isEmpty())
      return usage(QStringLiteral("アドレス帳の %1 番は空です。").arg(entry));
  }
  if (recipient.isEmpty()) recipient = saved;
  if (recipient.trimmed().isEmpty()) return usage(QStringLiteral("宛先がありません。"));
  return std::nullopt;
}

// The limit of the carrier named on the command line, else the saved
// one's; 0: none.
std::optional<ExitStatus> carrierLimit(const IniDocument& ini, const QCommandLineParser& options, qsizetype& limit) {
  bool carrierKnown = true;
  const int carrier = carrierIndex(ini, options.value(QStringLiteral("carrier")), carrierKnown);
  if (!carrierKnown)
    return usage(QStringLiteral("そのキャリアは Data.ini にありません: ") + options.value(QStringLiteral("carrier")));
  limit = carrier >= 0 ? DataIni::carrierLimit(ini, carrier) : 0;
  return std::nullopt;
}

// The body within the carrier's limit, cut when --truncate says so.
std::optional<ExitStatus> fitBody(const QCommandLineParser& options, qsizetype limit, QString& body) {
  if (limit == 0 || BodyInput::byteCount(body) <= limit) return std::nullopt;
  if (!options.isSet(QStringLiteral("truncate"))) {
    tell(QStringLiteral("文字数が制限を越えています。（%1 バイト、上限 %2 バイト）").arg(BodyInput::byteCount(body)).arg(limit));
    return ExitStatus::DataRefused;
  }
  body = BodyInput::truncated(body, limit);
  return std::nullopt;
}

// The window's checks; nobody is there to answer a question.
std::optional<ExitStatus> refusal(const SendCheck& check) {
  if (check.problem == SendCheck::Problem::None) return std::nullopt;
  tell(SendReport::refusalText(check));
  if (check.problem == SendCheck::Problem::TextUnmappable)
    tell(QStringLiteral("Data.ini の [MAIL] に Charset=ISO-2022-JP か Charset=UTF-8 を書くと、そのまま送れます。"));
  return check.problem == SendCheck::Problem::ControlCharacterInSetting ? ExitStatus::Configuration
                                                                         : ExitStatus::DataRefused;
}

ExitStatus printDryRun(const MailSettings& settings, const SendCheck& check, const Typed& mail, qsizetype limit) {
  // The mail as the engine would send it (the subject on one line).
  const OutgoingMail outgoing{check.recipient, check.from, MailText::subjectWithoutLineBreaks(mail.subject), mail.body,
                              {settings.smtpSecurity, settings.smtpAuth, settings.smtpUser, QString()},
                              settings.charset};
  const QByteArray text = SmtpDialogue::wholeMailText(outgoing, false);
  std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
  QTextStream(stdout) << "\n# " << text.size() << " bytes of mail text; body " << BodyInput::byteCount(mail.body)
                      << " bytes, limit " << limit << '\n';
  return ExitStatus::Sent;
}

ExitStatus settingsMissing(const QString& path) {
  tell(QStringLiteral("設定ファイルが見つかりません。(Data.ini) ") + path);
  return ExitStatus::Configuration;
}

// Data.ini beside the program, in the user's folder when installed, or in
// the folder given; read once. A folder given holds it, or nothing is used
// (nor made) elsewhere.
std::optional<ExitStatus> prepareSettings(const QCommandLineParser& options) {
  if (options.isSet(QStringLiteral("config"))) {
    QString folder = QFileInfo(options.value(QStringLiteral("config"))).absoluteFilePath();
    if (!folder.endsWith(u'/')) folder += u'/';
    if (!QFileInfo(folder + AppPlaces::kSettingsFileName).isFile())
      return settingsMissing(folder + AppPlaces::kSettingsFileName);
    AppPlaces::useProgramFolder(folder);
  }
  const AppPlaces::SettingsCheck check = AppPlaces::prepareSettingsFile();
  if (check.state == AppPlaces::SettingsCheck::State::Refused) {
    tell(QStringLiteral("設定ファイルを安全に読めないため使えません。(Data.ini) ") + check.place + QStringLiteral(": ") +
         check.reason);
    return ExitStatus::Configuration;
  }
  if (check.ready() && QFileInfo(AppPlaces::settingsPath()).isReadable()) return std::nullopt;
  return settingsMissing(AppPlaces::settingsPath());
}

}  // namespace

ExitStatus run(const QStringList& arguments) {
  QCommandLineParser options;
  declareOptions(options);
  const QCommandLineOption help = options.addHelpOption();
  if (!options.parse(arguments)) return usage(options.errorText());
  if (options.isSet(help)) {
    QTextStream(stdout) << options.helpText();
    return ExitStatus::Sent;
  }
  if (options.isSet(QStringLiteral("version"))) {
    QTextStream(stdout) << "Talvenor Ver " << TalvenorVersion::kText << '\n';
    return ExitStatus::Sent;
  }
  if (options.positionalArguments().size() > 1) return usage(QStringLiteral("宛先は 1 つだけ指定できます。"));
  if (options.isSet(QStringLiteral("debug")))
    QLoggingCategory::setFilterRules(QStringLiteral("talvenor.transcript.debug=true"));
  if (const auto status = prepareSettings(options)) return *status;
  const IniDocument ini = SettingsFile::inUse().read();
  const MailSettings settings = DataIni::readMailSettings(ini);
  // The TLS backend, only when the settings encrypt, on another thread
  // while this one reads the body, builds the mail and connects.
  std::jthread tlsReady;
  if (MailTransmission::usesTls(settings) && !options.isSet(QStringLiteral("dry-run")))
    tlsReady = std::jthread(&TlsStream::prepare);

  Typed mail;
  mail.subject = options.value(QStringLiteral("subject"));
  qsizetype limit = 0;
  if (const auto status = takeRecipient(ini, options, mail.recipient)) return *status;
  if (const auto status = carrierLimit(ini, options, limit)) return *status;
  if (const auto status = readBody(options, limit, mail.body)) return *status;
  if (const auto status = fitBody(options, limit, mail.body)) return *status;
  const SendCheck check = MailTransmission::check(settings, mail.recipient, mail.subject, mail.body);
  if (const auto status = refusal(check)) return *status;
  if (options.isSet(QStringLiteral("dry-run"))) return printDryRun(settings, check, mail, limit);

  // A keyring with no session bus (cron) would only wait: say how instead.
  if (settings.passwordStore == MailSettings::PasswordStore::Keyring &&
      qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
    tell(QStringLiteral("パスワードはキーリングにありますが、デスクトップのセッションがありません。"
                        "デスクトップにログインした中で実行するか、パスワードを Data.ini に保存してください。"));
    return ExitStatus::Permission;
  }
  return send(settings, mail);
}

}  // namespace SendCommand
