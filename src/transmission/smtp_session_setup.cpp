#include "smtp_session_setup.h"

#include "mail_text.h"
#include "plain_text.h"
#include "server_link.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>

using Kind = SendFailure::Kind;

namespace {

// The extension keywords and their parameters of an EHLO reply, upper
// case, one entry a line, the greeting line left out.
QStringList extensionLines(const QString& reply) {
  QStringList lines;
  const QStringList all = reply.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  for (qsizetype i = 1; i < all.size(); ++i) lines << all[i].mid(4).trimmed().toUpper();
  return lines;
}

// "AUTH PLAIN LOGIN" and the older "AUTH=PLAIN LOGIN".
QStringList authMechanisms(const QStringList& extensions) {
  QStringList mechanisms;
  for (const QString& line : extensions) {
    if (!line.startsWith(QLatin1String("AUTH")) || line.size() < 5) continue;
    if (line[4] != u' ' && line[4] != u'=') continue;
    mechanisms << line.mid(5).split(QLatin1Char(' '), Qt::SkipEmptyParts);
  }
  return mechanisms;
}

QString base64(const QByteArray& bytes) { return QString::fromLatin1(bytes.toBase64()); }

}  // namespace

void SmtpSessionSetup::begin(bool encrypted) {
  encrypted_ = encrypted;
  extensions_.clear();
  mechanisms_.clear();
  state_ = State::AwaitEhlo;
  sendEhlo();
}

void SmtpSessionSetup::sendEhlo() { server_.sendLine(QStringLiteral("EHLO ") + MailText::heloDomain()); }

SmtpSessionSetup::Outcome SmtpSessionSetup::stop(Kind kind, SmtpLogin& login, const QString& serverText) {
  wipe(login.password);
  // The connection goes before the report: nothing more crosses it.
  server_.close();
  SendFailure failure{kind};
  failure.serverText = serverText;
  failures_.report(failure);
  return Outcome::Stopped;
}

SmtpSessionSetup::Outcome SmtpSessionSetup::step(const SmtpReply& reply, SmtpLogin& login) {
  const QStringView code = reply.code();
  const QString serverSaid = reply.text().trimmed();
  switch (state_) {
    case State::AwaitEhlo:
      if (code != u"250") return stop(Kind::SmtpRefused, login, serverSaid);
      if (login.security == MailSettings::SmtpSecurity::StartTls) {
        if (!extensionLines(reply.text()).contains(QStringLiteral("STARTTLS"))) return stop(Kind::StartTlsNotOffered, login);
        server_.sendLine(QStringLiteral("STARTTLS"));
        state_ = State::AwaitStartTls;
        return Outcome::Waiting;
      }
      return afterEhlo(reply, login);
    case State::AwaitStartTls:
      if (code != u"220") return stop(Kind::StartTlsRefused, login, serverSaid);
      server_.startTls();
      state_ = State::AwaitHandshake;
      return Outcome::Waiting;
    case State::AwaitHandshake:
      // Nothing may arrive between the 220 and the handshake.
      return stop(Kind::StartTlsRefused, login, serverSaid);
    case State::AwaitEhloOverTls:
      if (code != u"250") return stop(Kind::SmtpRefused, login, serverSaid);
      return afterEhlo(reply, login);
    case State::AwaitLoginUserPrompt:
      if (code != u"334") return stop(Kind::AuthFailed, login, serverSaid);
      server_.sendSecret(QString(), base64(login.user.toUtf8()));
      state_ = State::AwaitLoginPassPrompt;
      return Outcome::Waiting;
    case State::AwaitLoginPassPrompt:
      if (code != u"334") return stop(Kind::AuthFailed, login, serverSaid);
      server_.sendSecret(QString(), base64(login.password.toUtf8()));
      wipe(login.password);
      state_ = State::AwaitAuthResult;
      return Outcome::Waiting;
    case State::AwaitCramChallenge: {
      if (code != u"334") return stop(Kind::AuthFailed, login, serverSaid);
      const QByteArray challenge = QByteArray::fromBase64(reply.text().mid(4).trimmed().toLatin1());
      const QByteArray digest = QMessageAuthenticationCode::hash(challenge, login.password.toUtf8(),
                                                                 QCryptographicHash::Md5);
      server_.sendSecret(QString(), base64(login.user.toUtf8() + ' ' + digest.toHex()));
      wipe(login.password);
      state_ = State::AwaitAuthResult;
      return Outcome::Waiting;
    }
    case State::AwaitAuthPlain:
    case State::AwaitAuthResult:
      if (code != u"235") return stop(Kind::AuthFailed, login, serverSaid);
      return Outcome::Ready;
  }
  return Outcome::Waiting;
}

SmtpSessionSetup::Outcome SmtpSessionSetup::tlsReady() {
  if (state_ != State::AwaitHandshake) return Outcome::Waiting;
  // What the server said before the handshake counts no more (RFC 3207).
  encrypted_ = true;
  extensions_.clear();
  mechanisms_.clear();
  sendEhlo();
  state_ = State::AwaitEhloOverTls;
  return Outcome::Waiting;
}

SmtpSessionSetup::Outcome SmtpSessionSetup::afterEhlo(const SmtpReply& reply, SmtpLogin& login) {
  extensions_ = extensionLines(reply.text());
  mechanisms_ = authMechanisms(extensions_);
  if (!login.auth) return Outcome::Ready;
  return startAuth(login);
}

SmtpSessionSetup::Outcome SmtpSessionSetup::startAuth(SmtpLogin& login) {
  // Servers that take a login only once encrypted hide it (or offer only
  // the password-carrying kinds) until then.
  if (!encrypted_ && !mechanisms_.contains(QStringLiteral("CRAM-MD5")) &&
      extensions_.contains(QStringLiteral("STARTTLS")))
    return stop(Kind::AuthAfterStartTls, login);
  if (mechanisms_.isEmpty()) return stop(Kind::AuthNotOffered, login);
  if (mechanisms_.contains(QStringLiteral("CRAM-MD5"))) {
    server_.sendLine(QStringLiteral("AUTH CRAM-MD5"));
    state_ = State::AwaitCramChallenge;
    return Outcome::Waiting;
  }
  // PLAIN and LOGIN carry the password itself: only encrypted.
  if (!encrypted_) return stop(Kind::AuthNeedsTls, login);
  if (mechanisms_.contains(QStringLiteral("PLAIN"))) {
    QByteArray credentials = '\0' + login.user.toUtf8() + '\0' + login.password.toUtf8();
    server_.sendSecret(QStringLiteral("AUTH PLAIN "), base64(credentials));
    credentials.fill('\0');
    wipe(login.password);
    state_ = State::AwaitAuthPlain;
    return Outcome::Waiting;
  }
  if (mechanisms_.contains(QStringLiteral("LOGIN"))) {
    server_.sendLine(QStringLiteral("AUTH LOGIN"));
    state_ = State::AwaitLoginUserPrompt;
    return Outcome::Waiting;
  }
  return stop(Kind::AuthNotOffered, login);
}
