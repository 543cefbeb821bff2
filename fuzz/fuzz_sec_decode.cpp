// Any stored value decodes without crashing, and a text the code page can
// hold survives SecEncode and SecDecode unchanged.
#include "ansi_code_page.h"
#include "sec_code.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const QString asStored = QString::fromLatin1(bytes);
  (void)SecCode::SecDecode(asStored);

  const QString text = AnsiCodePage::toUnicode(bytes);
  if (text.size() <= 32767 && AnsiCodePage::toUnicode(AnsiCodePage::fromUnicode(text)) == text &&
      SecCode::SecDecode(SecCode::SecEncode(text)) != text)
    std::abort();
  return 0;
}
