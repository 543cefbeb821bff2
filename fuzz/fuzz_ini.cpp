// Any Data.ini text parses; a write then reads back its value and leaves
// every other line of the file as it was.
#include "ini_text.h"

#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
// Lines of the file without their line endings, without the lines naming
// the key written and without the header a missing section gains.
QList<QByteArray> untouchedLines(const QByteArray& bytes) {
  QList<QByteArray> kept;
  for (QByteArray line : bytes.split('\n')) {
    while (line.endsWith('\r')) line.chop(1);  // a lone CR at the end gains a line break
    const qsizetype equals = line.indexOf('=');
    if (equals >= 0 && line.left(equals).trimmed().toLower() == "fuzzkey") continue;
    if (line.isEmpty() || line == "[MAIL]") continue;
    kept.append(line);
  }
  return kept;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray original(reinterpret_cast<const char*>(data), qsizetype(size));
  (void)IniText::readValue(original, "MAIL", "To");
  (void)IniText::readValue(original, "carrierindex", " 1 ");

  const QByteArray value = "@001@101@201";
  const auto written = IniText::withValue(original, "MAIL", "fuzzkey", value);
  if (!written) std::abort();
  if (IniText::readValue(*written, "MAIL", "fuzzkey") != value) std::abort();
  if (untouchedLines(*written) != untouchedLines(original)) std::abort();
  return 0;
}
