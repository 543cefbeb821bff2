#include "server_link.h"

#include "cp932.h"
#include "iso2022jp.h"
#include "socket_control.h"
#include "transcript.h"
#include "plain_text.h"


void ServerLink::connect(const QString& host, std::uint16_t port) {
  Transcript::note(QStringLiteral("connect %1:%2").arg(host).arg(port));
  ++commandsIssued_;
  reader_.dropPending();
  socket_.connectToHost(host, port);
}

void ServerLink::connectTls(const QString& host, std::uint16_t port) {
  Transcript::note(QStringLiteral("connect %1:%2, TLS from the first byte").arg(host).arg(port));
  ++commandsIssued_;
  reader_.dropPending();
  socket_.connectToHostEncrypted(host, port);
}

void ServerLink::startTls() {
  Transcript::note(QStringLiteral("TLS handshake"));
  ++commandsIssued_;
  reader_.dropPending();
  socket_.startTls();
}

void ServerLink::close() {
  reader_.dropPending();
  socket_.close();
}

bool ServerLink::isOpen() const { return socket_.isOpen(); }

ServerLink::Taken ServerLink::takeWholeReply(QString& reply) {
  reader_.append(socket_.readAll());
  if (reader_.tooLong()) {
    reader_.dropPending();
    return Taken::TooLong;
  }
  if (!reader_.hasWholeReply()) return Taken::Partial;
  reply = reader_.take();
  Transcript::received(reply);
  return Taken::Whole;
}

void ServerLink::sendLine(const QString& line) {
  ++commandsIssued_;
  Transcript::sent(line);
  socket_.write(Cp932::fromUnicode(line + kCrLf));
}

void ServerLink::sendSecret(const QString& command, const QString& argument) {
  ++commandsIssued_;
  Transcript::sent(command + Transcript::kHidden);
  socket_.write(Cp932::fromUnicode(command + argument + kCrLf));
}

void ServerLink::sendBytes(const QByteArray& bytes, MailSettings::Charset charset) {
  ++commandsIssued_;
  if (lcTranscript().isDebugEnabled()) {
    switch (charset) {
      case MailSettings::Charset::ShiftJis: Transcript::sent(Cp932::toUnicode(bytes)); break;
      case MailSettings::Charset::Iso2022Jp: Transcript::sent(Iso2022Jp::decode(bytes)); break;
      case MailSettings::Charset::Utf8: Transcript::sent(QString::fromUtf8(bytes)); break;
    }
  }
  socket_.write(bytes);
}
