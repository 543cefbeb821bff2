#include "mail_text.h"

#include "cp932.h"
#include "talvenor_version.h"
#include "plain_text.h"

#include <QHostInfo>
#include <QLocale>

namespace MailText {


bool isValidAddress(const QString& address) {
  return address.contains(QLatin1Char('@')) && address.size() >= 6 && !holdsCharacterNotInAddress(address);
}

bool holdsCharacterNotInAddress(QStringView address) {
  for (const QChar c : address) {
    if (c == u'<' || c == u'>' || c == u',' || c.isSpace() || c.category() == QChar::Other_Control) return true;
  }
  return false;
}

bool holdsControlCharacter(QStringView text) {
  for (const QChar c : text)
    if (c.category() == QChar::Other_Control) return true;
  return false;
}

bool isAsciiHostName(QStringView name) {
  if (name.isEmpty() || name.size() > 253) return false;
  for (const QStringView label : name.split(u'.')) {
    if (label.isEmpty() || label.size() > 63 || label.startsWith(u'-') || label.endsWith(u'-')) return false;
    for (const QChar c : label) {
      const char16_t u = c.unicode();
      const bool letterOrDigit = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9');
      if (!letterOrDigit && u != u'-') return false;
    }
  }
  return true;
}

QString subjectWithoutLineBreaks(const QString& subject) {
  QString result = subject;
  result.remove(QLatin1Char('\r'));
  result.remove(QLatin1Char('\n'));
  return result;
}

QString dateLine(const QDateTime& now) {
  const int offsetMinutes = now.offsetFromUtc() / 60;
  const int magnitude = qAbs(offsetMinutes);
  const QString zone = QStringLiteral("%1%2%3")
                           .arg(offsetMinutes < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                           .arg(magnitude / 60, 2, 10, QLatin1Char('0'))
                           .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
  return QStringLiteral("Date:") + QLocale::c().toString(now, u"ddd, d MMM yyyy HH:mm:ss") +
         QLatin1Char(' ') + zone + kCrLf;
}

QString fromLine(const QString& from) { return QStringLiteral("From:") + from + kCrLf; }

QString toLine(const QString& to) { return QStringLiteral("TO:") + to + kCrLf; }

QString XMailerLine() {
  return QStringLiteral("X-Mailer: Talvenor ") + QLatin1String(TalvenorVersion::kText) +
         QStringLiteral(" by harbex7") + kCrLf;
}

namespace {

// The length of the character at i, in UTF-16 units (a pair counts as one
// character) and in octets of the code page (a mail's text is counted once:
// no table).
struct Character {
  qsizetype units;
  qsizetype octets;
};

Character characterAt(const QString& text, qsizetype i) {
  const qsizetype units = unitsOfCharacterAt(text, i);
  return {units, Cp932::byteCount(QStringView(text).sliced(i, units), Cp932::Counting::Conversion)};
}

bool isLineBreak(QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); }

}  // namespace

QString subjectLine(const QString& subject) {
  const QString name = QStringLiteral("SUBJECT:");
  qsizetype octets = name.size();
  qsizetype end = 0;
  while (end < subject.size()) {
    const Character c = characterAt(subject, end);
    if (octets + c.octets > kMaxLineOctets) break;
    octets += c.octets;
    end += c.units;
  }
  return name + subject.left(end) + kCrLf;
}

QString breakLongLines(const QString& text, qsizetype maxOctets) {
  QString result;
  result.reserve(text.size() + text.size() / 256);
  qsizetype lineOctets = 0;
  for (qsizetype i = 0; i < text.size();) {
    if (isLineBreak(text[i])) {
      result += text[i];
      lineOctets = 0;
      ++i;
      continue;
    }
    const Character c = characterAt(text, i);
    if (lineOctets + c.octets > maxOctets && lineOctets > 0) {
      result += kCrLf;
      lineOctets = 0;
    }
    result += QStringView(text).sliced(i, c.units);
    lineOctets += c.octets;
    i += c.units;
  }
  return result;
}

QByteArray dataForWire(QByteArrayView message) {
  QByteArray wire;
  wire.reserve(message.size() + message.size() / 32 + 8);
  bool lineStart = true;
  for (qsizetype i = 0; i < message.size(); ++i) {
    const char c = message[i];
    if (c == '\r' || c == '\n') {
      // CR LF, a lone CR and a lone LF each end one line.
      if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
      wire += "\r\n";
      lineStart = true;
      continue;
    }
    if (lineStart && c == '.') wire += '.';
    wire += c;
    lineStart = false;
  }
  return wire + "\r\n.\r\n";
}

QString heloDomain() {
  const QString name = QHostInfo::localHostName();
  return isAsciiHostName(name) ? name : QStringLiteral("localhost");
}

}  // namespace MailText
