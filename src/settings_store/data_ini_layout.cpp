#include "data_ini_layout.h"

#include "ini_document.h"
#include "scrambling.h"

#include <limits>

namespace DataIni {
namespace {

// Optional blanks, an optional sign and decimal digits: the value as a
// 64-bit number (saturated far beyond 32 bits so that overflow still shows),
// or nothing.
std::optional<std::int64_t> parseWhole(const QString& text, bool* nonZero = nullptr) {
  const QString t = text.trimmed();
  qsizetype i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) {
    negative = t[i] == u'-';
    ++i;
  }
  if (i == t.size()) return std::nullopt;
  constexpr std::int64_t kCeiling = std::int64_t(1) << 40;
  std::int64_t value = 0;
  bool anyNonZero = false;
  for (; i < t.size(); ++i) {
    const QChar c = t[i];
    if (c < u'0' || c > u'9') return std::nullopt;
    if (c != u'0') anyNonZero = true;
    if (value < kCeiling) value = value * 10 + (c.unicode() - u'0');
  }
  if (nonZero != nullptr) *nonZero = anyNonZero;
  return negative ? -value : value;
}

template <typename Int>
std::optional<Int> parseIn(const QString& text) {
  const std::optional<std::int64_t> value = parseWhole(text);
  if (!value || *value < std::numeric_limits<Int>::min() || *value > std::numeric_limits<Int>::max()) {
    return std::nullopt;
  }
  return static_cast<Int>(*value);
}

}  // namespace

std::optional<std::int16_t> parseInt16(const QString& text) { return parseIn<std::int16_t>(text); }

std::optional<std::int32_t> parseInt32(const QString& text) { return parseIn<std::int32_t>(text); }

std::optional<bool> parseFlag(const QString& text) {
  const QString t = text.trimmed();
  if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
  if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
  bool nonZero = false;
  if (!parseWhole(t, &nonZero)) return std::nullopt;
  return nonZero;
}

QString flagText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

QString indexKey(int index) { return QString::number(index); }

int carrierCount(const IniDocument& ini) {
  const std::optional<std::int16_t> highest = parseInt16(ini.value(Section::CarrierNum, Key::Num));
  if (!highest || *highest < 0) return 0;
  return *highest + 1;
}

QString carrierName(const IniDocument& ini, int index) { return ini.value(Section::CarrierIndex, indexKey(index)); }

std::int32_t carrierLimit(const IniDocument& ini, int index) {
  return parseInt32(ini.value(Section::CarrierData, indexKey(index))).value_or(0);
}

int defaultCarrier(const IniDocument& ini) {
  const std::optional<std::int16_t> chosen = parseInt16(ini.value(Section::CarrierNum, Key::DefaultNum));
  if (!chosen || *chosen < -1 || *chosen >= carrierCount(ini)) return -1;
  return *chosen;
}

int addrNum(const IniDocument& ini) {
  const std::optional<std::int16_t> highest = parseInt16(ini.value(Section::AddrNum, Key::Num));
  if (!highest || *highest < 0) return 0;
  return *highest > kMaxAddrIndex ? kMaxAddrIndex : int(*highest);
}

bool readFlag(const IniDocument& ini, const QString& section, const QString& key) {
  return parseFlag(ini.value(section, key)).value_or(false);
}

QString readScrambled(const IniDocument& ini, const QString& section, const QString& key) {
  return Scrambling::unscramble(ini.value(section, key));
}

void writeScrambled(IniDocument& ini, const QString& section, const QString& key, const QString& text) {
  ini.set(section, key, Scrambling::scramble(text));
}

void writeFlag(IniDocument& ini, const QString& section, const QString& key, bool value) {
  ini.set(section, key, flagText(value));
}

QStringList readAddressBook(const IniDocument& ini) {
  QStringList book;
  const int last = addrNum(ini);
  for (int i = 0; i <= last; ++i) book << readScrambled(ini, Section::AddrIndex, indexKey(i));
  return book;
}

void writeAddressBook(IniDocument& ini, const QString& recipient, const QStringList& book) {
  for (int i = 0; i <= kMaxAddrIndex; ++i) ini.set(Section::AddrIndex, indexKey(i), QString());
  writeScrambled(ini, Section::AddrIndex, indexKey(0), recipient);
  int count = 0;
  for (qsizetype n = 1; n < book.size() && count < kMaxAddrIndex; ++n) {
    if (book[n].isEmpty()) continue;
    writeScrambled(ini, Section::AddrIndex, indexKey(++count), book[n]);
  }
  ini.set(Section::AddrNum, Key::Num, QString::number(count));
}

}  // namespace DataIni
