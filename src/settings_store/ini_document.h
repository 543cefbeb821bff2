#pragma once

#include <QByteArray>
#include <QString>

// The text of Data.ini as one read found it (CP932 bytes), with reads and
// changes by section and key under IniText's rules. A window loading its
// controls reads one document; a save changes one and writes it whole.
class IniDocument {
 public:
  IniDocument() = default;
  explicit IniDocument(QByteArray bytes) : bytes_(std::move(bytes)) {}

  // The value under [section] key=, blanks trimmed; empty when section or
  // key is missing. Names match without regard to case or outer blanks.
  QString value(const QString& section, const QString& key) const;
  // True when the section has the key, even with an empty value.
  bool has(const QString& section, const QString& key) const;
  // Sets the value (leading blanks dropped), adding key and section as
  // needed and changing no other byte; false for an empty name.
  bool set(const QString& section, const QString& key, const QString& value);

  const QByteArray& bytes() const { return bytes_; }

 private:
  QByteArray bytes_;
};
