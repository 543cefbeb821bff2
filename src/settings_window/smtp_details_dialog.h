#pragma once

#include "mail_settings.h"

#include <QDialog>
#include <QString>
#include <cstdint>

class QCheckBox;
class QKeyEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// How the program reaches the SMTP server beyond its name (encryption,
// port, SMTP AUTH), and the character set of the mail text.
struct SmtpDetails {
  MailSettings::SmtpSecurity security = MailSettings::SmtpSecurity::None;
  std::uint16_t port = MailSettings::kSmtpPort;
  bool auth = false;
  QString user;
  QString password;
  MailSettings::Charset charset = MailSettings::Charset::ShiftJis;
  // Both passwords, the POP one included.
  MailSettings::PasswordStore passwordStore = MailSettings::PasswordStore::File;
  // The keyring did not give the password: the field shows empty, with why.
  bool passwordUnread = false;
};

// The small modal dialog "詳細設定..." of the settings window opens. OK
// checks the entries and keeps the dialog open with a box when one is
// wrong; nothing is stored here, the settings window saves.
class SmtpDetailsDialog : public QDialog {
  Q_OBJECT

 public:
  // keyringOffered: a Secret Service answers, so the passwords may go to
  // the keyring; otherwise their store stays as it is.
  SmtpDetailsDialog(const SmtpDetails& details, bool keyringOffered, QWidget* parent = nullptr);

  // The entries as the user left them (checked once the dialog accepted).
  SmtpDetails details() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildControls();
  void nameControls();
  void onEncryptionChosen();
  void onAuthToggled();
  void warnIfAuthInClear();
  void onOk();

  MailSettings::SmtpSecurity shownSecurity_ = MailSettings::SmtpSecurity::None;
  MailSettings::PasswordStore storedPasswordStore_;
  bool passwordUnread_ = false;

  // Controls; each one's objectName is its member's name without the underscore.
  QComboBox* encryptionBox_ = nullptr;  // なし / STARTTLS / SSL/TLS
  QLineEdit* portBox_ = nullptr;
  QCheckBox* authBox_ = nullptr;
  QLineEdit* userBox_ = nullptr;
  QLineEdit* passwordBox_ = nullptr;
  QComboBox* charsetBox_ = nullptr;      // Shift_JIS（従来どおり） / ISO-2022-JP（推奨） / UTF-8
  QCheckBox* keyringBox_ = nullptr;      // パスワードをキーリングに保存する
  QLabel* keyringSilentNote_ = nullptr;  // only when the keyring did not give the password
  QPushButton* okButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
};
