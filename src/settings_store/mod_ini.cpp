#include "mod_ini.h"

#include "ansi_code_page.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

// Data.ini is an initialization file in CP932: "[section]" lines open a
// section, "key=value" lines follow. The file is parsed as raw bytes on each
// call, so a write can splice its one line into the bytes it read and leave
// every other byte (comments, unknown keys, order, line endings) alone.
//
// Rules kept here:
// - section and key names match without regard to ASCII letter case and
//   without the blanks around them; double-byte characters match exactly;
// - a value is read without the blanks around it, and in full;
// - the first of several sections or keys with the same name is the one
//   read and written;
// - lines starting with ";" and lines without "=" are left alone;
// - a write goes to a temporary file in the same folder that replaces the
//   old one only once it is complete on disk, keeping its permission bits;
//   a file without its owner's write permission is treated as read-only.
namespace ModINI {
namespace {

QString& testFolder() {
  static QString folder;
  return folder;
}

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

bool readFile(const QString& path, QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  bytes = file.readAll();
  return file.error() == QFileDevice::NoError;
}

// QSaveFile buffers what is written and its commit() neither reports a
// failed final flush nor a failed sync: on a full disk it would rename a
// short file over the old one. So both are done and checked here first.
bool writeFile(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) {
    file.cancelWriting();
    file.commit();  // discards the temporary file
    return false;
  }
  return file.commit();
}

}  // namespace

QString AppFolder() {
  QString folder = testFolder();
  if (folder.isEmpty() && QCoreApplication::instance() != nullptr) {
    folder = QCoreApplication::applicationDirPath();
  }
  if (folder.isEmpty()) folder = QDir::currentPath();
  if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
  return folder;
}

QString SettingsPath() { return AppFolder() + kFileName; }

QString IniRead(const QString& section, const QString& key) {
  QByteArray bytes;
  if (!readFile(SettingsPath(), bytes)) return QString();
  const QByteArray sectionName = AnsiCodePage::fromUnicode(section);
  const QByteArray keyName = AnsiCodePage::fromUnicode(key);
  const Location where = locate(bytes, trimmed(sectionName), trimmed(keyName));
  if (!where.keyFound) return QString();
  return AnsiCodePage::toUnicode(where.key.value);
}

std::int32_t IniWrite(const QString& section, const QString& key, const QString& value) {
  const QByteArray sectionBytes = AnsiCodePage::fromUnicode(section);
  const QByteArray keyBytes = AnsiCodePage::fromUnicode(key);
  const QByteArrayView sectionName = trimmed(sectionBytes);
  const QByteArrayView keyName = trimmed(keyBytes);
  if (sectionName.isEmpty() || keyName.isEmpty()) return 0;

  // Leading blanks are not stored; a line break would end the line early.
  const QByteArray valueBytes = AnsiCodePage::fromUnicode(value);
  QByteArrayView newValue = valueBytes;
  while (!newValue.isEmpty() && isBlank(newValue.front())) newValue = newValue.sliced(1);
  const qsizetype lineBreak = [&] {
    for (qsizetype i = 0; i < newValue.size(); ++i) {
      if (newValue[i] == '\r' || newValue[i] == '\n') return i;
    }
    return qsizetype(-1);
  }();
  if (lineBreak >= 0) newValue = newValue.first(lineBreak);

  const QString path = SettingsPath();
  const QFileInfo info(path);
  QByteArray bytes;
  if (info.exists()) {
    if (info.isDir()) return 0;
    // A file without its owner's write permission is read-only, also for
    // a user (root) whom the system would let write.
    if (!(info.permissions() & QFileDevice::WriteOwner)) return 0;
    if (!readFile(path, bytes)) return 0;  // never replace what could not be read
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
      if (where.lastLineOfSection.contentEnd == where.lastLineOfSection.end) addition.append(eol);
    } else {
      if (!bytes.isEmpty() && !bytes.endsWith('\n')) addition.append(eol);
      addition.append('[').append(sectionName).append(']').append(eol);
    }
    addition.append(keyName).append('=').append(newValue).append(eol);
    updated.reserve(bytes.size() + addition.size());
    updated.append(QByteArrayView(bytes).first(insertAt));
    updated.append(addition);
    updated.append(QByteArrayView(bytes).sliced(insertAt));
  }

  if (info.exists() && updated == bytes) return 1;
  return writeFile(path, updated) ? 1 : 0;
}

void setAppFolderForTesting(const QString& folder) { testFolder() = folder; }

}  // namespace ModINI
