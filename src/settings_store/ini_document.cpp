#include "ini_document.h"

#include "cp932.h"
#include "ini_text.h"

QString IniDocument::value(const QString& section, const QString& key) const {
  const auto value = IniText::readValue(bytes_, Cp932::fromUnicode(section), Cp932::fromUnicode(key));
  return value ? Cp932::toUnicode(*value) : QString();
}

bool IniDocument::has(const QString& section, const QString& key) const {
  return IniText::readValue(bytes_, Cp932::fromUnicode(section), Cp932::fromUnicode(key)).has_value();
}

bool IniDocument::set(const QString& section, const QString& key, const QString& value) {
  auto updated = IniText::withValue(bytes_, Cp932::fromUnicode(section), Cp932::fromUnicode(key),
                                    Cp932::fromUnicode(value));
  if (!updated) return false;
  bytes_ = std::move(*updated);
  return true;
}
