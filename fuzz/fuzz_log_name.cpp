// The sent-mail log's choice of file name, for any subject and any set of
// names already taken: every subject gets a name, the name always stays in
// the day folder, holds no character a file name may not hold, and fits
// the file system.
//
// Input: byte 0 tells which names are taken (0 none, 255 every one, else
// the plain name and the numbers up to the value); byte 1 the second
// of the clock; the rest is the subject in UTF-16 (unpaired surrogates
// included), up to 400 units.
#include "write_log.h"

#include <QDir>
#include <QFile>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

const QString kDayFolder = QStringLiteral("/home/user/Talvenor/mailLOG/20040322/");

bool unusable(const QString& name) {
  for (const QChar c : name)
    if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0) ||
        QStringView(u"/\\:*?\"<>|").contains(c))
      return true;
  return false;
}

void check(bool holds) {
  if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Longer subjects than this are all refused alike, by their length.
  if (size < 2 || size > 2 + 2 * 400) return 0;
  const int taken = data[0];
  const QDateTime now(QDate(2004, 3, 22), QTime(14, 5, data[1] % 60));
  const QString subject =
      QString::fromUtf16(reinterpret_cast<const char16_t*>(data + 2), qsizetype((size - 2) / 2));
  // The plain name and the numbers up to `taken` are taken, whatever the
  // subject became in the name.
  const auto exists = [&](const QString& path) {
    check(path.startsWith(kDayFolder));  // it only ever looks inside the day folder
    if (taken == 0) return false;
    if (taken == 255) return true;
    const QStringView name = QStringView(path).mid(kDayFolder.size());
    if (!name.endsWith(QLatin1String(").eml"))) return true;
    const qsizetype open = name.lastIndexOf(u'(');
    bool ok = false;
    const int n = name.mid(open + 1, name.size() - open - 6).toInt(&ok);
    return !ok || n <= taken;
  };

  const QString name = MailLog::chooseLogFileName(kDayFolder, subject, now, exists);

  check(!name.isEmpty());
  check(name.endsWith(QLatin1String(".eml")) && name.size() > 4);
  check(!unusable(name));
  check(name.toUtf8().size() <= 255);
  // The full path names a file right inside the day folder, also as the
  // file system sees its bytes.
  const QString path = kDayFolder + name;
  check(QDir::cleanPath(path) == path);
  const QByteArray encoded = QFile::encodeName(path);
  check(encoded.count('/') == kDayFolder.count(QLatin1Char('/')));
  check(!encoded.contains('\0'));
  return 0;
}
