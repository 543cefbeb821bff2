// Any Data.ini parses; a write then reads back its value and leaves every
// other line of the file as it was.
#include "mod_ini.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
QTemporaryDir* folder = nullptr;

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Lines of the file, line endings dropped, without the lines naming key.
QList<QByteArray> linesWithout(const QByteArray& bytes, const QByteArray& key) {
  QList<QByteArray> kept;
  for (QByteArray line : bytes.split('\n')) {
    while (line.endsWith('\r')) line.chop(1);  // a lone CR at the end gains a line break
    const qsizetype equals = line.indexOf('=');
    if (equals >= 0 && line.left(equals).trimmed().toLower() == key) continue;
    if (!line.isEmpty()) kept.append(line);
  }
  return kept;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  folder = new QTemporaryDir();
  ModINI::setAppFolderForTesting(folder->path() + QLatin1Char('/'));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray original(reinterpret_cast<const char*>(data), qsizetype(size));
  const QString path = ModINI::SettingsPath();
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    file.write(original);
  }
  (void)ModINI::IniRead(QStringLiteral("MAIL"), QStringLiteral("To"));
  (void)ModINI::IniRead(QStringLiteral("CarrierIndex"), QStringLiteral("1"));

  const QString value = QStringLiteral("@001@101@201");
  if (ModINI::IniWrite(QStringLiteral("MAIL"), QStringLiteral("fuzzkey"), value) == 0) return 0;
  if (ModINI::IniRead(QStringLiteral("MAIL"), QStringLiteral("fuzzkey")) != value) std::abort();
  if (linesWithout(readAll(path), "fuzzkey") != linesWithout(original, "fuzzkey")) {
    // Only a section header may have been added for a missing [MAIL].
    QList<QByteArray> after = linesWithout(readAll(path), "fuzzkey");
    after.removeAll(QByteArrayLiteral("[MAIL]"));
    QList<QByteArray> before = linesWithout(original, "fuzzkey");
    before.removeAll(QByteArrayLiteral("[MAIL]"));
    if (after != before) std::abort();
  }
  return 0;
}
