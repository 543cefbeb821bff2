// The SMTP dialogue, and the POP login before it, fed any sequence of
// server replies, closes and errors through the socket control. Whatever
// the server does, "送信が完了しました。" is shown only after the mail text
// went out after a 354 and QUIT followed a 250 to it, on the SMTP
// connection; the state stays one the tables know; nothing crashes.
//
// Input: byte 0 picks the run (bit 0: POP before SMTP, bit 1: start with
// the settings window's POP test). Then events, each led by one byte:
//   0  a chunk of reply bytes (next byte: length)   3  a canned reply (next byte: which)
//   1  the server closes                            4  the send button again
//   2  a socket error                               5  the POP test again
#include "ansi_code_page.h"
#include "mail_transmission.h"
#include "message_box.h"
#include "mod_talvenor200.h"
#include "socket_control.h"
#include "winsock.h"

#include <QByteArray>
#include <QStringList>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <cstdint>
#include <cstdlib>

using namespace ModTalvenor200;

namespace {

const QString kCompleted = QStringLiteral("送信が完了しました。");

// Stands in for the socket control: no network, the events come from the
// input, one at a time, and only for the connection that is open.
class FakeSocket : public SocketControl {
 public:
  void Connect(const QString&, std::uint16_t port) override {
    state_ = 7;
    port_ = port;
    received_.clear();
    sent_.clear();
  }
  void Close() override {
    state_ = 0;
    received_.clear();
  }
  int State() const override { return state_; }
  void SendData(const QString& text) override {
    if (state_ == 7) sent_ += text;
  }
  void GetData(QString& data) override {
    data = AnsiCodePage::toUnicode(received_);
    received_.clear();
  }

  void arrive(const QByteArray& bytes) {
    if (state_ != 7) return;
    received_ += bytes;
    if (Winsock::EndsWithCompleteReply(received_)) emit dataArrivalEvent(std::int32_t(received_.size()));
  }
  void serverCloses() {
    if (state_ != 7) return;
    state_ = 8;
    emit closeEvent();
  }
  void fails() {
    if (state_ == 0) return;
    state_ = 9;
    emit errorEvent(10054, QStringLiteral("Connection reset by peer"));
  }

  // On this connection: port 25, the mail text ended and QUIT after it.
  bool mailAccepted() const {
    return port_ == 25 && sent_.contains(QLatin1String("\r\n.\r\nQUIT\r\n"));
  }

 private:
  int state_ = 0;
  std::uint16_t port_ = 0;
  QByteArray received_;
  QString sent_;
};

const char* const kCanned[] = {
    "220 mx ESMTP\r\n", "250 Ok\r\n",           "354 Go ahead\r\n",  "221 Bye\r\n",      "250-mx\r\n250 8BITMIME\r\n",
    "550 No such user\r\n", "451 Later\r\n",    "+OK ready\r\n",     "+OK\r\n",          "-ERR no\r\n",
    "+OK x -ERR y\r\n",  "251 Forwarded\r\n",   "\x81\xff\r\n",      "250 Ok",           "\r\n",
};

void check(bool holds) {
  if (!holds) std::abort();
}

void setUpPopTest() {
  gPBSMTP = true;
  gPopTest = true;
  gSmtpPhase = false;
  gPServer = QStringLiteral("pop.example.jp");
  gUSER = QStringLiteral("taro");
  gPASS = QStringLiteral("secret");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  resetForTesting();
  gFrom = QStringLiteral("taro@example.jp");
  gServer = QStringLiteral("mx.example.jp");
  gPServer = QStringLiteral("pop.example.jp");
  gUSER = QStringLiteral("taro");
  gPASS = QStringLiteral("secret");
  gPBSMTP = data[0] & 1;
  gOUTLOG = false;

  FakeSocket socket;
  MailTransmission mail(socket);
  int clicks = 0;
  int completions = 0;
  const auto previous = MessageBox::setResponder([&](const MessageBox::Request& request) {
    if (request.text.startsWith(kCompleted)) {
      check(socket.mailAccepted());
      check(!gPopTest);
      ++completions;
    }
    return request.buttons == MessageBox::Buttons::YesNo ? MessageBox::Answer::Yes : MessageBox::Answer::Ok;
  });

  const auto click = [&] {
    ++clicks;
    mail.CmdMail_Click(QStringLiteral("hanako@example.jp"), QStringLiteral("件名"), QStringLiteral("本文\n.\n"));
  };
  const auto popTest = [&] {
    setUpPopTest();
    mail.StartPopTest();
  };
  if (data[0] & 2)
    popTest();
  else
    click();

  for (std::size_t i = 1; i < size;) {
    const std::uint8_t op = data[i++] % 6;
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
    } else {
      popTest();
    }
    const std::int16_t s = mail.mState;
    check(s == -1 || s == 110 || (s >= 0 && s <= 7));
    check(completions <= clicks);
  }

  MessageBox::setResponder(previous);
  return 0;
}
