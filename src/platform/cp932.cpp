#include "cp932.h"
#include "plain_text.h"

#include <unicode/ucnv.h>

#include <array>
#include <memory>
#include <vector>

namespace Cp932 {
namespace {

static_assert(sizeof(UChar) == sizeof(char16_t), "ICU's UChar must be a UTF-16 unit");

const UChar* icuText(QStringView text) { return reinterpret_cast<const UChar*>(text.utf16()); }

// One CP932 converter per thread: "?" for what the code page cannot hold,
// ICU's close matches (fallbacks) where it has one, e.g. U+00A5 -> 0x5C or
// WAVE DASH U+301C -> 0x81 0x60.
class Converter {
 public:
  Converter() {
    UErrorCode status = U_ZERO_ERROR;
    cnv_ = ucnv_open("windows-31j", &status);
    if (U_FAILURE(status) || cnv_ == nullptr) {
      cnv_ = nullptr;
      return;
    }
    ucnv_setSubstChars(cnv_, "?", 1, &status);
    ucnv_setFallback(cnv_, true);
  }
  ~Converter() {
    if (cnv_ != nullptr) ucnv_close(cnv_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  UConverter* get() const { return cnv_; }

 private:
  UConverter* cnv_ = nullptr;
};

UConverter* converter() {
  thread_local Converter instance;
  return instance.get();
}

// One ICU conversion into a buffer sized for the usual case; should ICU
// report an overflow, once more into a buffer of the size it asked for.
// Empty when the conversion fails.
template <typename Buffer, typename Convert>
Buffer convertInto(Buffer out, Convert convert) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t written = convert(out, status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.resize(written);
    status = U_ZERO_ERROR;
    written = convert(out, status);
  }
  if (U_FAILURE(status)) return Buffer();
  out.resize(written);
  return out;
}

// Every unit becomes at most two bytes, the "?" of a pair one.
QByteArray encode(QStringView text) {
  UConverter* cnv = converter();
  if (text.isEmpty() || cnv == nullptr) return QByteArray();
  return convertInto(QByteArray(text.size() * 2, Qt::Uninitialized), [&](QByteArray& out, UErrorCode& status) {
    ucnv_resetFromUnicode(cnv);
    return ucnv_fromUChars(cnv, out.data(), static_cast<int32_t>(out.size()), icuText(text),
                           static_cast<int32_t>(text.size()), &status);
  });
}

// Bytes per UTF-16 unit for the whole BMP, built once per thread on first use
// by converting every non-surrogate unit in one call and counting the output
// bytes each source offset produced. Lone surrogates become "?" (1 byte).
class ByteLengthTable {
 public:
  ByteLengthTable() {
    lengths_.fill(1);
    UConverter* cnv = converter();
    if (cnv == nullptr) return;

    std::vector<UChar> units;
    units.reserve(0x10000 - 0x800);
    for (char32_t u = 0; u < 0x10000; ++u) {
      if (u >= 0xD800 && u <= 0xDFFF) continue;
      units.push_back(static_cast<UChar>(u));
    }
    std::vector<char> bytes(units.size() * 4);
    std::vector<int32_t> offsets(bytes.size());

    ucnv_resetFromUnicode(cnv);
    UErrorCode status = U_ZERO_ERROR;
    char* target = bytes.data();
    const UChar* source = units.data();
    ucnv_fromUnicode(cnv, &target, bytes.data() + bytes.size(), &source, units.data() + units.size(),
                     offsets.data(), true, &status);
    ucnv_resetFromUnicode(cnv);
    if (U_FAILURE(status)) return;

    std::vector<std::uint8_t> counts(units.size(), 0);
    const std::size_t produced = static_cast<std::size_t>(target - bytes.data());
    for (std::size_t i = 0; i < produced; ++i) {
      const int32_t from = offsets[i];
      if (from >= 0 && static_cast<std::size_t>(from) < counts.size()) ++counts[from];
    }
    for (std::size_t i = 0; i < units.size(); ++i) lengths_[units[i]] = counts[i];
  }

  std::uint8_t operator[](char16_t unit) const { return lengths_[unit]; }

 private:
  std::array<std::uint8_t, 0x10000> lengths_{};
};

const ByteLengthTable& byteLengths() {
  thread_local const std::unique_ptr<ByteLengthTable> table = std::make_unique<ByteLengthTable>();
  return *table;
}

}  // namespace

QByteArray fromUnicode(QStringView text) { return encode(text); }

QString toUnicode(QByteArrayView bytes) {
  UConverter* cnv = converter();
  if (bytes.isEmpty() || cnv == nullptr) return QString();
  // CP932 never yields more UTF-16 units than bytes.
  return convertInto(QString(bytes.size(), Qt::Uninitialized), [&](QString& out, UErrorCode& status) {
    ucnv_resetToUnicode(cnv);
    return ucnv_toUChars(cnv, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                         bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  });
}

QString unmappable(QStringView text) {
  QString found;
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype units = unitsOfCharacterAt(text, i);
    const QStringView c = text.sliced(i, units);
    i += units;
    // Plain ASCII always fits; "?" itself is no loss.
    if (units == 1 && c[0].unicode() < 0x80) continue;
    if (found.contains(c)) continue;
    if (encode(c) == "?") found += c;
  }
  return found;
}

qsizetype byteCount(QStringView text, Counting how) {
  const char16_t* p = text.utf16();
  const char16_t* const end = p + text.size();
  qsizetype count = 0;

  // Plain ASCII runs count one byte per unit; no table needed.
  const char16_t* asciiEnd = p;
  while (asciiEnd != end && *asciiEnd < 0x80) ++asciiEnd;
  count += asciiEnd - p;
  p = asciiEnd;
  if (p == end) return count;
  if (how == Counting::Conversion)
    return count + encode(QStringView(p, end)).size();

  const ByteLengthTable& lengths = byteLengths();
  while (p != end) {
    const char16_t unit = *p;
    if (unit < 0x80) {
      ++count;
      ++p;
    } else if (QChar::isHighSurrogate(unit) && p + 1 != end && QChar::isLowSurrogate(p[1])) {
      // A character beyond the BMP: CP932 holds none, so ICU gives one "?";
      // ask the converter all the same in case its tables ever map one.
      count += encode(QStringView(p, 2)).size();
      p += 2;
    } else {
      count += lengths[unit];
      ++p;
    }
  }
  return count;
}

std::int16_t charCode(QChar c) {
  const QByteArray bytes = encode(QStringView(&c, 1));
  if (bytes.size() == 1) return static_cast<std::uint8_t>(bytes[0]);
  if (bytes.size() == 2) {
    const auto word = static_cast<std::uint16_t>((static_cast<std::uint8_t>(bytes[0]) << 8) |
                                                 static_cast<std::uint8_t>(bytes[1]));
    return static_cast<std::int16_t>(word);
  }
  return '?';
}

QString charFromCode(std::int32_t code) {
  if (code >= 0 && code <= 255) {
    const char byte = static_cast<char>(code);
    return toUnicode(QByteArrayView(&byte, 1));
  }
  if (code < -32768 || code > 65535) return QString();
  const auto word = static_cast<std::uint16_t>(code);
  const char bytes[2] = {static_cast<char>(word >> 8), static_cast<char>(word & 0xFF)};
  return toUnicode(QByteArrayView(bytes, 2));
}

}  // namespace Cp932
