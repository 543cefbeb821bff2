#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// The text of an initialization file as raw CP932 bytes: "[section]" lines
// open a section, "key=value" lines follow. Reading finds one value; writing
// splices one line into the bytes and leaves every other byte alone.
//
// Rules kept here:
// - section and key names match without regard to ASCII letter case and
//   without the blanks around them; double-byte characters match exactly;
// - a value is read without the blanks around it, and in full;
// - the first of several sections or keys with the same name is the one
//   read and written;
// - lines starting with ";" and lines without "=" are left alone.
namespace IniText {

// The value of key in section, trimmed; nullopt when either is missing.
std::optional<QByteArray> readValue(const QByteArray& bytes, QByteArrayView section, QByteArrayView key);

// The file with key set to value (leading blanks dropped, cut at a line
// break), adding key and section as needed; nullopt for an empty name.
std::optional<QByteArray> withValue(const QByteArray& bytes, QByteArrayView section, QByteArrayView key,
                                    QByteArrayView value);

}  // namespace IniText
