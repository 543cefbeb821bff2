// Any stored value decodes without crashing, and a text the code page can
// hold survives SecEncode and SecDecode unchanged.
#include "cp932.h"
#include "scrambling.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QString asStored = QString::fromLatin1(bytes);
  (void)Scrambling::unscramble(asStored);

  const QString text = Cp932::toUnicode(bytes);
  if (text.size() <= 32767 && Cp932::toUnicode(Cp932::fromUnicode(text)) == text &&
      Scrambling::unscramble(Scrambling::scramble(text)) != text)
    std::abort();
  return 0;
}
