#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// The one description of Data.ini: its sections, keys and value forms.
class IniDocument;

namespace DataIni {

namespace Section {
inline const QString CarrierNum = QStringLiteral("CarrierNum");
inline const QString CarrierIndex = QStringLiteral("CarrierIndex");
inline const QString CarrierData = QStringLiteral("CarrierData");
inline const QString AddrNum = QStringLiteral("AddrNum");
inline const QString AddrIndex = QStringLiteral("AddrIndex");
inline const QString MAIL = QStringLiteral("MAIL");
}  // namespace Section

namespace Key {
inline const QString Num = QStringLiteral("Num");
inline const QString DefaultNum = QStringLiteral("DefaultNum");
inline const QString To = QStringLiteral("To");
inline const QString From = QStringLiteral("From");
inline const QString Server = QStringLiteral("Server");
inline const QString PBSMTP = QStringLiteral("PBSMTP");
inline const QString OUTLOG = QStringLiteral("OUTLOG");
inline const QString pServer = QStringLiteral("pServer");
inline const QString USER = QStringLiteral("USER");
inline const QString PASS = QStringLiteral("PASS");
// Sending through a provider; absent in every Data.ini that predates them.
inline const QString SmtpSecurity = QStringLiteral("SmtpSecurity");
inline const QString SmtpPort = QStringLiteral("SmtpPort");
inline const QString SmtpAuth = QStringLiteral("SmtpAuth");
inline const QString SmtpUser = QStringLiteral("SmtpUser");
inline const QString SmtpPass = QStringLiteral("SmtpPass");
inline const QString PopSecurity = QStringLiteral("PopSecurity");
inline const QString PopPort = QStringLiteral("PopPort");
inline const QString PopInterval = QStringLiteral("PopInterval");
inline const QString Charset = QStringLiteral("Charset");
inline const QString SmtpTimeout = QStringLiteral("SmtpTimeout");
inline const QString PasswordStore = QStringLiteral("PasswordStore");
}  // namespace Key

// Largest address index the address book holds (entries 0..4).
inline constexpr int kMaxAddrIndex = 4;

// Value forms. std::nullopt stands for a missing or malformed value.
std::optional<std::int16_t> parseInt16(const QString& text);
std::optional<std::int32_t> parseInt32(const QString& text);
std::optional<bool> parseFlag(const QString& text);  // "True"/"False" any case, or a number
QString flagText(bool value);                          // "True" / "False"
QString indexKey(int index);                           // "0", "1", …

// Typed reads of one read of the file, with the program's decisions for
// bad values.
int carrierCount(const IniDocument& ini);                 // CarrierNum/Num + 1; 0 when missing or malformed
QString carrierName(const IniDocument& ini, int index);     // CarrierIndex/index, plain
std::int32_t carrierLimit(const IniDocument& ini, int index);  // CarrierData/index; 0 (no limit) when malformed
int defaultCarrier(const IniDocument& ini);  // CarrierNum/DefaultNum; -1 when malformed or out of range
int addrNum(const IniDocument& ini);         // AddrNum/Num clamped to 0..4; 0 when malformed
bool readFlag(const IniDocument& ini, const QString& section, const QString& key);  // false when malformed
QString readScrambled(const IniDocument& ini, const QString& section, const QString& key);
void writeScrambled(IniDocument& ini, const QString& section, const QString& key, const QString& text);
void writeFlag(IniDocument& ini, const QString& section, const QString& key, bool value);

// The address book: entry 0 (the recipient last used) and entries 1 to
// addrNum, unscrambled; blank entries as they are stored.
QStringList readAddressBook(const IniDocument& ini);
// Stores entry 0 and the non-blank entries of book (from index 1 on),
// renumbered from 1 without gaps; the numbered list is emptied first, so it
// never keeps a stale entry. Entries are stored as given.
void writeAddressBook(IniDocument& ini, const QString& recipient, const QStringList& book);

}  // namespace DataIni
