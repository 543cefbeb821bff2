// The SMTP dialogue, and the POP login before it, fed any sequence of
// server replies, closes and errors through the socket control. Whatever
// the server does, "送信が完了しました。" is shown only after the mail text
// went out after a 354 and QUIT followed a 250 to it, on the SMTP
// connection of a send (not of a POP test); only one dialogue is ever
// under way; nothing crashes.
//
// With STARTTLS or SMTP AUTH chosen, the EHLO, STARTTLS and AUTH steps
// never send the password in clear, and the mail never goes out over a
// connection that was to be encrypted and is not.
//
// Input: byte 0 picks the run (bit 0: POP before SMTP, bit 1: start with
// the settings window's POP test, bits 2-3: SMTP none / STARTTLS / SSL,
// bit 4: SMTP AUTH, bit 5: POP over STLS). Then events, each led by one byte:
//   0  a chunk of reply bytes (next byte: length)   4  the send button again
//   1  the server closes                            5  the POP test again
//   2  a socket error                               6  the handshake ends
//   3  a canned reply (next byte: which)
#include "fake_socket.h"
#include "mail_settings.h"
#include "mail_transmission.h"
#include "send_boxes.h"
#include "message_box.h"

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace {

const QString kCompleted = QStringLiteral("送信が完了しました。");
constexpr std::uint16_t kSmtpPort = 2525;
constexpr std::uint16_t kPopPort = 1110;

const char* const kCanned[] = {
    "220 mx ESMTP\r\n", "250 Ok\r\n",           "354 Go ahead\r\n",  "221 Bye\r\n",      "250-mx\r\n250 8BITMIME\r\n",
    "550 No such user\r\n", "451 Later\r\n",    "+OK ready\r\n",     "+OK\r\n",          "-ERR no\r\n",
    "+OK x -ERR y\r\n",  "251 Forwarded\r\n",   "\x81\xff\r\n",      "250 Ok",           "\r\n",
    "250-mx\r\n250-STARTTLS\r\n250 AUTH PLAIN LOGIN CRAM-MD5\r\n", "250-mx\r\n250 AUTH=LOGIN\r\n",
    "220 Go ahead\r\n",   "334 VXNlcm5hbWU6\r\n", "334 PDEyMzRAbXg+\r\n", "235 Ok\r\n",       "535 No\r\n",
    "250-mx\r\n250 AUTH PLAIN\r\n",
};

void check(bool holds) {
  if (!holds) std::abort();
}

// On the connection open now: the SMTP port, the mail text ended and QUIT after it.
bool mailAccepted(const FakeSocket& socket) {
  return socket.lastPort == kSmtpPort && socket.sent.contains("\r\n.\r\nQUIT\r\n");
}

// Only one dialogue is ever under way: on the connection open now, no SMTP
// command goes to the POP server and no POP command to the SMTP server.
bool commandsFitThePort(const FakeSocket& socket) {
  static const char* const kPopOnly[] = {"USER ", "PASS ", "STLS\r"};
  static const char* const kSmtpOnly[] = {"RSET\r", "HELO ", "EHLO ", "MAIL FROM:", "RCPT TO:", "DATA\r",
                                          "STARTTLS\r", "AUTH "};
  const QByteArray sent = "\n" + socket.sent;
  const auto holds = [&sent](const auto& commands) {
    return std::any_of(std::begin(commands), std::end(commands),
                       [&sent](const char* command) { return sent.contains("\n" + QByteArray(command)); });
  };
  if (socket.lastPort == kSmtpPort) return !holds(kPopOnly);
  // The POP port, or none yet.
  return !holds(kSmtpOnly);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  MailSettings settings;
  settings.from = QStringLiteral("taro@example.jp");
  settings.smtpServer = QStringLiteral("mx.example.jp");
  settings.smtpPort = kSmtpPort;
  settings.popServer = QStringLiteral("pop.example.jp");
  settings.popPort = kPopPort;
  settings.popUser = QStringLiteral("taro");
  settings.popPassword = QStringLiteral("secret");
  settings.popBeforeSmtp = data[0] & 1;
  const int security = (data[0] >> 2) & 3;
  settings.smtpSecurity = security == 1   ? MailSettings::SmtpSecurity::StartTls
                          : security >= 2 ? MailSettings::SmtpSecurity::Ssl
                                          : MailSettings::SmtpSecurity::None;
  settings.smtpAuth = data[0] & 16;
  settings.smtpUser = QStringLiteral("taro");
  settings.smtpPassword = QStringLiteral("p4ssw0rd");
  if (data[0] & 32) settings.popSecurity = MailSettings::PopSecurity::Stls;

  FakeSocket socket;
  socket.connectsAtOnce = true;
  int startsAtConnect = 0;  // StartTls calls before the connection open now
  MailTransmission mail(socket);
  SendBoxes sendBoxes(mail, settings, PasswordStore(SettingsFile::inUse(), Keyring()));
  int clicks = 0;
  int completions = 0;
  bool popTestLast = false;  // the last thing started was the settings window's POP test
  const auto previous = MessageBox::setResponder([&](const MessageBox::Request& request) {
    if (request.text.startsWith(kCompleted)) {
      check(mailAccepted(socket));
      // STARTTLS chosen: the mail went out only after the handshake.
      if (settings.smtpSecurity == MailSettings::SmtpSecurity::StartTls) check(socket.tlsStarts > startsAtConnect);
      check(!popTestLast);
      ++completions;
    }
    return request.buttons == MessageBox::Buttons::YesNo ? MessageBox::Answer::Yes : MessageBox::Answer::Ok;
  });

  const auto click = [&] {
    ++clicks;
    popTestLast = false;
    sendBoxes.send(QStringLiteral("hanako@example.jp"), QStringLiteral("件名"), QStringLiteral("本文\n.\n"));
  };
  // As the settings window starts it: POP before SMTP on for the run, and
  // off again with the POP login emptied after a success.
  const auto popTest = [&] {
    popTestLast = true;
    settings.popBeforeSmtp = true;
    settings.popServer = QStringLiteral("pop.example.jp");
    settings.popUser = QStringLiteral("taro");
    settings.popPassword = QStringLiteral("secret");
    QObject::connect(
        &sendBoxes, &SendBoxes::popTestSucceeded, &sendBoxes,
        [&settings] {
          settings.popBeforeSmtp = false;
          settings.popServer.clear();
          settings.popUser.clear();
          settings.popPassword = QString();
        },
        Qt::SingleShotConnection);
    sendBoxes.testPopLogin();
  };
  if (data[0] & 2)
    popTest();
  else
    click();

  int connects = socket.connects;
  for (std::size_t i = 1; i < size;) {
    if (socket.connects != connects) {
      connects = socket.connects;
      startsAtConnect = socket.tlsStarts;
    }
    const std::uint8_t op = data[i++] % 7;
    if (op == 0) {
      const std::size_t length = i < size ? data[i++] : 0;
      const std::size_t take = std::min(length, size - i);
      socket.arrive(QByteArray(reinterpret_cast<const char*>(data + i), qsizetype(take)));
      i += take;
    } else if (op == 1) {
      socket.serverCloses();
    } else if (op == 2) {
      socket.fails();
    } else if (op == 3) {
      const std::size_t which = i < size ? data[i++] : 0;
      socket.arrive(QByteArray(kCanned[which % std::size(kCanned)]));
    } else if (op == 4) {
      click();
    } else if (op == 5) {
      popTest();
    } else {
      socket.verifiesServer();
    }
    // The password itself never crosses the wire; PLAIN and LOGIN carry it
    // only on a connection that is encrypted.
    check(!socket.sent.contains("p4ssw0rd"));
    const bool encrypted = socket.encryptedFromStart || socket.tlsStarts > startsAtConnect;
    if (!encrypted) {
      check(!socket.sent.contains(QByteArray("p4ssw0rd").toBase64()));
      check(!socket.sent.contains(QByteArray("\0taro\0p4ssw0rd", 14).toBase64()));
    }
    check(commandsFitThePort(socket));
    // What is gathered of a reply never passes the limit: past it the
    // connection is left.
    check(!socket.isOpen() || socket.takenSinceLineBreak <= ReplyReader::kMaxReplyBytes);
    check(completions <= clicks);
  }

  MessageBox::setResponder(previous);
  return 0;
}
