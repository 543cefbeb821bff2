#pragma once

#include "mail_settings.h"
#include "reply_reader.h"

#include <QString>
#include <cstdint>

class SocketControl;

// The connection as the dialogues use it: whole replies in, command lines
// and the mail text out, in the ANSI code page, each line written to the
// transcript.
class ServerLink {
 public:
  explicit ServerLink(SocketControl& socket) : socket_(socket) {}

  void connect(const QString& host, std::uint16_t port);
  // Encrypted from the first byte.
  void connectTls(const QString& host, std::uint16_t port);
  // Encrypts the connection from here on; what the server sent before is
  // dropped.
  void startTls();
  // Releases the connection (raises no close event) and drops what was
  // gathered of a reply.
  void close();
  bool isOpen() const;

  enum class Taken { Partial, Whole, TooLong };
  // Takes the bytes that have arrived: Whole once they end with a whole
  // reply, which is then in `reply`; TooLong past the reader's limit (what
  // was gathered is dropped).
  Taken takeWholeReply(QString& reply);
  // How many times the program has acted on the link (connected, sent, begun
  // TLS) so far: a reply after which this changed moved the dialogue on.
  quint64 commandsIssued() const { return commandsIssued_; }

  // The line and CR LF.
  void sendLine(const QString& line);
  // "command argument" and CR LF, the argument hidden in the transcript.
  void sendSecret(const QString& command, const QString& argument);
  // Bytes whose lines already end with CR LF (the mail text and its end),
  // in the transcript as read in the charset they are written in.
  void sendBytes(const QByteArray& bytes, MailSettings::Charset charset = MailSettings::Charset::ShiftJis);

 private:
  SocketControl& socket_;
  ReplyReader reader_;
  quint64 commandsIssued_ = 0;
};
