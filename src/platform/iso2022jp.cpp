#include "iso2022jp.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

namespace Iso2022Jp {

std::optional<QByteArray> encode(QStringView text) {
  UErrorCode status = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open("ISO-2022-JP", &status);
  if (U_FAILURE(status) || cnv == nullptr) return std::nullopt;
  // A character without a place stops the conversion instead of becoming "?".
  ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  // Each JIS character takes two bytes, and there are the mode switches.
  QByteArray out(text.size() * 8 + 8, Qt::Uninitialized);
  const int32_t written =
      ucnv_fromUChars(cnv, out.data(), static_cast<int32_t>(out.size()), reinterpret_cast<const UChar*>(text.utf16()),
                      static_cast<int32_t>(text.size()), &status);
  ucnv_close(cnv);
  if (U_FAILURE(status)) return std::nullopt;
  out.resize(written);
  return out;
}

}  // namespace Iso2022Jp
