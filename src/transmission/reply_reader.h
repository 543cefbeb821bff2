#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Gathers the bytes a server sends until they end with a whole reply: a
// line break, and a last line that is not the continuation line of a
// multi-line SMTP reply ("250-..."). Everything gathered by then is taken
// as one reply, so a server that answers twice at once is read once, as
// the dialogues always have.
class ReplyReader {
 public:
  // The most a reply may hold: a reply line is at most 512 octets (RFC 5321
  // 4.5.3.1.5), a multi-line reply a few KiB; more is a server to leave.
  static constexpr qsizetype kMaxReplyBytes = 64 * 1024;

  void append(QByteArrayView bytes) { pending_ += bytes; }
  bool hasWholeReply() const { return endsWithWholeReply(pending_); }
  bool tooLong() const { return pending_.size() > kMaxReplyBytes; }
  // The reply's text, from the ANSI code page; empty the reader.
  QString take();
  void dropPending() { pending_.clear(); }

  static bool endsWithWholeReply(QByteArrayView data);

 private:
  QByteArray pending_;
};

// A whole SMTP reply: "ddd text", one line or several.
class SmtpReply {
 public:
  explicit SmtpReply(QString text) : text_(std::move(text)) {}
  const QString& text() const { return text_; }
  // The first three characters, normally the reply code ("250").
  QStringView code() const { return QStringView(text_).left(3); }
  // 4xx and 5xx: the server refuses.
  bool isTransientFailure() const { return text_.startsWith(u'4'); }
  bool isPermanentFailure() const { return text_.startsWith(u'5'); }

 private:
  QString text_;
};

// A whole POP3 reply. "-ERR" anywhere counts before "+OK" anywhere, so a
// reply that holds both is a refusal.
class PopReply {
 public:
  explicit PopReply(QString text) : text_(std::move(text)) {}
  const QString& text() const { return text_; }
  bool isError() const { return text_.contains(QLatin1String("-ERR")); }
  bool isOk() const { return !isError() && text_.contains(QLatin1String("+OK")); }

 private:
  QString text_;
};
