#include "ini_text.h"

namespace IniText {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// CP932 lead bytes of double-byte characters.
bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

QByteArrayView trimmed(QByteArrayView text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.sliced(begin, end - begin);
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Names compare ASCII case-insensitively; the trail byte of a double-byte
// character (which may look like an ASCII letter) compares exactly.
bool sameName(QByteArrayView a, QByteArrayView b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    if (isLeadByte(static_cast<unsigned char>(a[i]))) {
      if (a[i] != b[i]) return false;
      if (i + 1 < a.size()) {
        ++i;
        if (a[i] != b[i]) return false;
      }
      continue;
    }
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  }
  return true;
}

struct Line {
  qsizetype start = 0;       // first byte of the line
  qsizetype contentEnd = 0;  // where the line ending begins
  qsizetype end = 0;         // first byte after the line ending
};

enum class LineKind { Other, Section, Key };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  QByteArrayView name;    // section or key name, trimmed
  QByteArrayView value;   // key value, trimmed
  qsizetype equals = -1;  // file offset of the key's "="
};

class LineReader {
 public:
  explicit LineReader(const QByteArray& bytes) : bytes_(bytes) {}

  bool next(Line& line) {
    if (pos_ >= bytes_.size()) return false;
    line.start = pos_;
    const qsizetype newline = bytes_.indexOf('\n', pos_);
    if (newline < 0) {
      line.contentEnd = line.end = bytes_.size();
    } else {
      line.end = newline + 1;
      line.contentEnd = (newline > pos_ && bytes_[newline - 1] == '\r') ? newline - 1 : newline;
    }
    pos_ = line.end;
    return true;
  }

 private:
  const QByteArray& bytes_;
  qsizetype pos_ = 0;
};

ParsedLine parseLine(const QByteArray& bytes, const Line& line) {
  ParsedLine parsed;
  qsizetype begin = line.start;
  // A UTF-8 byte order mark in front of the first line is not part of it.
  if (begin == 0 && bytes.startsWith("\xEF\xBB\xBF")) begin = 3;
  if (begin > line.contentEnd) return parsed;
  const QByteArrayView content(bytes.constData() + begin, line.contentEnd - begin);
  const QByteArrayView text = trimmed(content);
  if (text.isEmpty() || text[0] == ';') return parsed;
  if (text[0] == '[') {
    const QByteArrayView inner = text.sliced(1);
    const qsizetype close = inner.indexOf(']');
    parsed.kind = LineKind::Section;
    parsed.name = trimmed(close < 0 ? inner : inner.first(close));
    return parsed;
  }
  const qsizetype equals = content.indexOf('=');
  if (equals < 0) return parsed;
  parsed.kind = LineKind::Key;
  parsed.name = trimmed(content.first(equals));
  parsed.value = trimmed(content.sliced(equals + 1));
  parsed.equals = begin + equals;
  return parsed;
}

// Where a section and key stand in the file (the first ones of that name).
struct Location {
  bool sectionFound = false;
  bool keyFound = false;
  Line keyLine;            // the key's line, when found
  ParsedLine key;          // its parsed form
  Line lastLineOfSection;  // the last key line of the section, or its header
};

Location locate(const QByteArray& bytes, QByteArrayView section, QByteArrayView key) {
  Location where;
  LineReader reader(bytes);
  Line line;
  bool inSection = false;
  while (reader.next(line)) {
    const ParsedLine parsed = parseLine(bytes, line);
    if (parsed.kind == LineKind::Section) {
      if (inSection) break;  // the first section of that name has ended
      if (sameName(parsed.name, section)) {
        inSection = true;
        where.sectionFound = true;
        where.lastLineOfSection = line;
      }
    } else if (inSection && parsed.kind == LineKind::Key) {
      where.lastLineOfSection = line;
      if (sameName(parsed.name, key)) {
        where.keyFound = true;
        where.keyLine = line;
        where.key = parsed;
        break;
      }
    }
  }
  return where;
}

// The line ending most lines of the file use; CR LF when there is none.
QByteArray lineEnding(const QByteArray& bytes) {
  qsizetype crlf = 0;
  qsizetype lf = 0;
  for (qsizetype i = bytes.indexOf('\n'); i >= 0; i = bytes.indexOf('\n', i + 1)) {
    if (i > 0 && bytes[i - 1] == '\r') {
      ++crlf;
    } else {
      ++lf;
    }
  }
  return lf > crlf ? QByteArray("\n") : QByteArray("\r\n");
}

// The ending that closes a file's last line: a lone CR there stays part of
// the line, so a bare LF after it would turn it into a CR LF ending and
// change what the line says ("[MAIL\r" would become a MAIL section).
QByteArray closingEnding(const QByteArray& bytes, const QByteArray& eol) {
  return bytes.endsWith('\r') ? QByteArray("\r\n") : eol;
}

}  // namespace

std::optional<QByteArray> readValue(const QByteArray& bytes, QByteArrayView section, QByteArrayView key) {
  const Location where = locate(bytes, trimmed(section), trimmed(key));
  if (!where.keyFound) return std::nullopt;
  return where.key.value.toByteArray();
}

std::optional<QByteArray> withValue(const QByteArray& bytes, QByteArrayView section, QByteArrayView key,
                                    QByteArrayView value) {
  const QByteArrayView sectionName = trimmed(section);
  const QByteArrayView keyName = trimmed(key);
  if (sectionName.isEmpty() || keyName.isEmpty()) return std::nullopt;

  // Leading blanks are not stored; a line break would end the line early.
  QByteArrayView newValue = value;
  while (!newValue.isEmpty() && isBlank(newValue.front())) newValue = newValue.sliced(1);
  for (qsizetype i = 0; i < newValue.size(); ++i) {
    if (newValue[i] == '\r' || newValue[i] == '\n') {
      newValue = newValue.first(i);
      break;
    }
  }

  const Location where = locate(bytes, sectionName, keyName);
  QByteArray updated;
  if (where.keyFound) {
    const qsizetype valueStart = where.key.equals + 1;
    updated.reserve(bytes.size() + newValue.size());
    updated.append(QByteArrayView(bytes).first(valueStart));
    updated.append(newValue);
    updated.append(QByteArrayView(bytes).sliced(where.keyLine.contentEnd));
  } else {
    const QByteArray eol = lineEnding(bytes);
    QByteArray addition;
    qsizetype insertAt = bytes.size();
    if (where.sectionFound) {
      insertAt = where.lastLineOfSection.end;
      // The section's last line may be the file's last, without an ending.
      if (where.lastLineOfSection.contentEnd == where.lastLineOfSection.end) addition.append(closingEnding(bytes, eol));
    } else {
      if (!bytes.isEmpty() && !bytes.endsWith('\n')) addition.append(closingEnding(bytes, eol));
      addition.append('[').append(sectionName).append(']').append(eol);
    }
    addition.append(keyName).append('=').append(newValue).append(eol);
    updated.reserve(bytes.size() + addition.size());
    updated.append(QByteArrayView(bytes).first(insertAt));
    updated.append(addition);
    updated.append(QByteArrayView(bytes).sliced(insertAt));
  }

  return updated;
}

}  // namespace IniText
