// Servers that flood the connection, run in a process of their own so that
// whatever the program keeps of the flood shows in this process's peak
// memory. A send to such a server ends with a box of bounded length, and
// the program never holds more than a bounded amount unread, also while a
// box of its is on the screen and the flood goes on.

#include "scripted_server.h"
#include "sending_side.h"
#include "tcp_socket_control.h"

#include <QFile>
#include <QProcess>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>

namespace {

constexpr qint64 kMiB = 1024 * 1024;
// The whole of this process's peak while a flood is on.
constexpr qint64 kPeakLimit = 100 * kMiB;

const QString kConfirm = QStringLiteral("メールを送信してよろしいですか？");
const QString kTooLong = QStringLiteral("サーバの応答が長すぎるため、接続を切りました。メールは送信されていません。");
const QString kRefused = QStringLiteral("エラーが発生しました\r\n554 5.7.1 Go away\r\n");
const QString kCompleted = QStringLiteral("送信が完了しました。\r\n\r\n題名と本文をクリアしますか？");

// VmHWM of this process in bytes, -1 when /proc does not tell.
qint64 peakMemory() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
    if (!line.startsWith("VmHWM:")) continue;
    const QList<QByteArray> fields = line.simplified().split(' ');  // "VmHWM:", n, "kB"
    return fields.size() >= 2 ? fields[1].toLongLong() * 1024 : -1;
  }
  return -1;
}

// Starts the peak afresh at the present size, so that each flood is
// measured by itself.
bool resetPeakMemory() {
  QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
  return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

// tests/servers/flood_server.py in its own process: one connection, and
// its reports ("stalled N", "sent N", "done N") read as they come.
class FloodServer {
 public:
  FloodServer(const QString& mode, qint64 size, const QString& certFolder) {
    QStringList arguments{qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/tests/servers/flood_server.py"),
                          mode, QStringLiteral("--size"), QString::number(size)};
    if (!certFolder.isEmpty())
      arguments << QStringLiteral("--tls") << certFolder + QStringLiteral("/localhost.pem")
                << certFolder + QStringLiteral("/localhost.key");
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("python3"), arguments);
    const QByteArray first = nextLine();
    if (first.startsWith("port ")) port_ = first.mid(5).trimmed().toUShort();
  }

  ~FloodServer() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.kill();
    process_.waitForFinished();
  }

  quint16 port() const { return port_; }

  // The after-refusal flood begins.
  void go() { process_.write("go\n"); }

  // Takes the reports that have come; true once one starts with `kind`,
  // and then `bytes` holds its count.
  bool reported(const char* kind, qint64* bytes = nullptr) {
    while (process_.canReadLine()) reports_ << process_.readLine().trimmed();
    for (const QByteArray& report : std::as_const(reports_)) {
      if (!report.startsWith(kind)) continue;
      if (bytes) *bytes = report.mid(report.indexOf(' ') + 1).toLongLong();
      return true;
    }
    return false;
  }

 private:
  // Blocking, for the line that comes before anything else happens.
  QByteArray nextLine() {
    while (!process_.canReadLine())
      if (!process_.waitForReadyRead(30000)) return {};
    return process_.readLine();
  }

  QProcess process_;
  quint16 port_ = 0;
  QList<QByteArray> reports_;
};

// The boxes shown after the confirmation.
QStringList shownAfterConfirmation(const ScriptedMessageBoxes& boxes) {
  QStringList texts = boxes.texts();
  texts.removeIf([](const QString& text) { return text.startsWith(kConfirm); });
  return texts;
}

// How the flooding server's connection is encrypted: not at all, or by
// TLS from the first byte.
enum class Encryption { None, Tls };
constexpr const char* kEncryptionNames[] = {"plain", "encrypted"};

}  // namespace

class TstFloodingServers : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void floodEndsTheSend_data();
  void floodEndsTheSend();
  void floodWhileABoxIsOnTheScreen_data();
  void floodWhileABoxIsOnTheScreen();
  void floodAfterPopQuitIsReadPast();

 private:
  QString certFolder(bool tls) const { return tls ? certificates_.path() : QString(); }
  void checkPeak(qint64 before);

  QTemporaryDir certificates_;
};

void TstFloodingServers::initTestCase() {
  QVERIFY(certificates_.isValid());
  QProcess make;
  make.setProcessChannelMode(QProcess::ForwardedChannels);
  make.start(qEnvironmentVariable("TALVENOR_SOURCE_DIR") + QStringLiteral("/tests/servers/make_test_certificates.sh"),
             {certificates_.path()});
  QVERIFY(make.waitForFinished(60000));
  QCOMPARE(make.exitCode(), 0);
  // The test CA is trusted as a system certificate would be.
  QSslConfiguration config = QSslConfiguration::defaultConfiguration();
  config.addCaCertificates(certificates_.filePath(QStringLiteral("ca.pem")));
  QSslConfiguration::setDefaultConfiguration(config);
  // Writes to a socket the server has closed must not end the test.
  std::signal(SIGPIPE, SIG_IGN);
}

// The peak since `before` was taken stays under the limit; the sanitizers'
// own bookkeeping would not.
void TstFloodingServers::checkPeak(qint64 before) {
  const qint64 after = peakMemory();
  qInfo("peak memory: %lld KiB at the start, %lld KiB at the most", before / 1024, after / 1024);
#ifndef TALVENOR_SANITIZED
  QVERIFY(after > 0);
  QVERIFY2(after < kPeakLimit, qPrintable(QStringLiteral("peak %1 MiB").arg(after / kMiB)));
#endif
}

void TstFloodingServers::floodEndsTheSend_data() {
  QTest::addColumn<QString>("mode");
  QTest::addColumn<qint64>("size");
  QTest::addColumn<int>("encryption");
  for (const Encryption encryption : {Encryption::None, Encryption::Tls}) {
    const char* how = kEncryptionNames[int(encryption)];
    QTest::addRow("greeting of 200 MB without a line end, %s", how)
        << QStringLiteral("greeting") << 200 * kMiB << int(encryption);
    QTest::addRow("reply of 20 MB to the first command, %s", how)
        << QStringLiteral("reply") << 20 * kMiB << int(encryption);
  }
}

// The send ends with the box of a reply too long, long before the server
// has sent everything.
void TstFloodingServers::floodEndsTheSend() {
  QFETCH(QString, mode);
  QFETCH(qint64, size);
  QFETCH(int, encryption);
  const bool tls = Encryption(encryption) != Encryption::None;
  QVERIFY(resetPeakMemory());
  const qint64 before = peakMemory();
  FloodServer server(mode, size, certFolder(tls));
  QVERIFY(server.port() != 0);
  SendingTest::SendingSide side;
  side.settings.smtpPort = server.port();
  if (tls) side.settings.smtpSecurity = MailSettings::SmtpSecurity::Ssl;

  side.sendBoxes.send(SendingTest::kTo, QStringLiteral("件名"), QStringLiteral("本文"));

  qint64 sent = -1;
  QTRY_VERIFY_WITH_TIMEOUT(server.reported("done", &sent), 120000);
  QTRY_COMPARE(shownAfterConfirmation(side.boxes), QStringList{kTooLong});
  QVERIFY2(sent < size, qPrintable(QStringLiteral("the server sent %1 bytes").arg(sent)));
  QVERIFY(side.idle());
  checkPeak(before);
}

void TstFloodingServers::floodWhileABoxIsOnTheScreen_data() {
  QTest::addColumn<int>("encryption");
  for (const Encryption encryption : {Encryption::None, Encryption::Tls})
    QTest::newRow(kEncryptionNames[int(encryption)]) << int(encryption);
}

// The server refuses, and while the program's box says so it sends 200 MB.
// The program stops reading: the server finds itself held back, and what
// the program holds unread stays bounded. Once the box is gone the
// connection is left, as after any refusal.
void TstFloodingServers::floodWhileABoxIsOnTheScreen() {
  QFETCH(int, encryption);
  const bool tls = Encryption(encryption) != Encryption::None;
  const qint64 size = 200 * kMiB;
  QVERIFY(resetPeakMemory());
  const qint64 before = peakMemory();
  FloodServer server(QStringLiteral("after-refusal"), size, certFolder(tls));
  QVERIFY(server.port() != 0);
  SendingTest::SendingSide side;
  side.settings.smtpPort = server.port();
  if (tls) side.settings.smtpSecurity = MailSettings::SmtpSecurity::Ssl;

  bool heldBack = false;
  qint64 sentWhileShown = -1;
  qsizetype mostUnread = 0;
  side.boxes.onShow = [&](const MessageBox::Request& request) {
    if (request.text != kRefused) return;
    server.go();
    // The box stays until the server stalls, or has sent everything (its
    // report is checked below).
    (void)QTest::qWaitFor(
        [&] {
          // The handler still runs: the program has taken nothing since the
          // refusal, so all it holds unread is in the socket control.
          mostUnread = std::max(mostUnread, side.socket.bytesAvailable());
          if (server.reported("stalled", &sentWhileShown)) return heldBack = true;
          return server.reported("sent", &sentWhileShown) || server.reported("done", &sentWhileShown);
        },
        120000);
  };

  side.sendBoxes.send(SendingTest::kTo, QStringLiteral("件名"), QStringLiteral("本文"));

  qint64 sent = -1;
  QTRY_VERIFY_WITH_TIMEOUT(server.reported("done", &sent), 120000);
  QTRY_COMPARE(shownAfterConfirmation(side.boxes), QStringList{kRefused});
  qInfo("the server sent %lld bytes while the box was shown, %lld in all", sentWhileShown, sent);
  QVERIFY2(mostUnread <= TcpSocketControl::kMaxUnread, qPrintable(QStringLiteral("%1 bytes unread").arg(mostUnread)));
  QVERIFY2(heldBack, qPrintable(QStringLiteral("the server sent %1 bytes unhindered").arg(sentWhileShown)));
  QVERIFY(sent < size);
  QVERIFY(side.idle());
  checkPeak(before);
}

// The answer to POP's QUIT is not read, so a flood there is read past and
// dropped: the server's close is seen, and the send goes on to SMTP.
void TstFloodingServers::floodAfterPopQuitIsReadPast() {
  const qint64 size = 200 * kMiB;
  QVERIFY(resetPeakMemory());
  const qint64 before = peakMemory();
  FloodServer pop(QStringLiteral("pop-quit"), size, QString());
  QVERIFY(pop.port() != 0);
  ScriptedServer smtp({
      QStringLiteral("S: 220 mx ESMTP"), QStringLiteral("C: RSET"), QStringLiteral("S: 250 Ok"),
      QStringLiteral("C~ ^HELO \\S+$"), QStringLiteral("S: 250 mx"),
      QStringLiteral("C: MAIL FROM:<") + SendingTest::kFrom + u'>', QStringLiteral("S: 250 Ok"),
      QStringLiteral("C: RCPT TO:<") + SendingTest::kTo + u'>', QStringLiteral("S: 250 Ok"),
      QStringLiteral("C: DATA"), QStringLiteral("S: 354 Go ahead"),
      QStringLiteral("C~ ^Date:"), QStringLiteral("C: From:") + SendingTest::kFrom,
      QStringLiteral("C: TO:") + SendingTest::kTo, QStringLiteral("C~ ^X-Mailer:"), QStringLiteral("C: SUBJECT:件名"),
      QStringLiteral("C: "), QStringLiteral("C: 本文"), QStringLiteral("C: ."), QStringLiteral("S: 250 Ok: queued"),
      QStringLiteral("C: QUIT"), QStringLiteral("S: 221 Bye"), QStringLiteral("X:"),
  });
  SendingTest::SendingSide side;
  side.settings.popBeforeSmtp = true;
  side.settings.popPort = pop.port();
  side.settings.smtpPort = smtp.port();

  side.sendBoxes.send(SendingTest::kTo, QStringLiteral("件名"), QStringLiteral("本文"));

  qint64 sent = -1;
  QTRY_VERIFY_WITH_TIMEOUT(pop.reported("done", &sent), 120000);
  QCOMPARE(sent, size);
  QTRY_VERIFY2(smtp.finished(), qPrintable(smtp.failure() + QStringLiteral(" / left: ") + smtp.remaining().join(u'|')));
  QTRY_COMPARE(shownAfterConfirmation(side.boxes), QStringList{kCompleted});
  QVERIFY(side.idle());
  checkPeak(before);
}

QTEST_GUILESS_MAIN(TstFloodingServers)
#include "tst_flooding_servers.moc"
