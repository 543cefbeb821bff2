#include "iso2022jp.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <memory>

namespace Iso2022Jp {
namespace {

// ICU also writes NEC's special row 13 (①, ㈱ …), which JIS X 0208 leaves
// empty and strict readers cannot decode; JIS X 0208 fills rows 1 to 8 and
// 16 to 84 only.
bool onlyJisX0208(const QByteArray& encoded) {
  bool twoBytes = false;
  for (qsizetype i = 0; i < encoded.size(); ++i) {
    if (encoded[i] == '\x1b' && i + 2 < encoded.size()) {
      twoBytes = encoded[i + 1] == '$';
      i += 2;
      continue;
    }
    if (!twoBytes) continue;
    const int row = static_cast<unsigned char>(encoded[i]) - 0x20;
    if ((row > 8 && row < 16) || row > 84) return false;
    ++i;  // the second byte of the character
  }
  return true;
}

// One converter per thread: the mail text asks for many small pieces.
UConverter* converter() {
  struct Close {
    void operator()(UConverter* cnv) const { ucnv_close(cnv); }
  };
  thread_local const std::unique_ptr<UConverter, Close> cnv([] {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* opened = ucnv_open("ISO-2022-JP", &status);
    if (U_FAILURE(status)) return static_cast<UConverter*>(nullptr);
    // A character without a place stops the conversion instead of becoming "?".
    ucnv_setFromUCallBack(opened, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    return opened;
  }());
  return cnv.get();
}

}  // namespace

std::optional<QByteArray> encode(QStringView text) {
  UConverter* cnv = converter();
  if (cnv == nullptr) return std::nullopt;
  ucnv_resetFromUnicode(cnv);
  UErrorCode status = U_ZERO_ERROR;
  // Each JIS character takes two bytes, and there are the mode switches.
  QByteArray out(text.size() * 8 + 8, Qt::Uninitialized);
  const int32_t written =
      ucnv_fromUChars(cnv, out.data(), static_cast<int32_t>(out.size()), reinterpret_cast<const UChar*>(text.utf16()),
                      static_cast<int32_t>(text.size()), &status);
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(written);
  if (!onlyJisX0208(out)) return std::nullopt;
  return out;
}

QString decode(const QByteArray& bytes) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open("ISO-2022-JP", &status);
  if (U_FAILURE(status)) return QString::fromLatin1(bytes);
  // ISO-2022-JP never takes more UTF-16 units than bytes.
  QString out(bytes.size() + 1, Qt::Uninitialized);
  const int32_t written = ucnv_toUChars(cnv, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                                        bytes.constData(), static_cast<int32_t>(bytes.size()), &status);
  ucnv_close(cnv);
  if (U_FAILURE(status)) return QString::fromLatin1(bytes);
  out.resize(written);
  return out;
}

}  // namespace Iso2022Jp
