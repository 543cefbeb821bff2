#pragma once

#include "folder_opener.h"
#include "password_store.h"
#include "send_outcome.h"
#include "settings_file.h"
#include "smtp_details_dialog.h"

#include <QDialog>
#include <array>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class SendBoxes;
struct MailSettings;

// The settings window: the basic mail settings, the address book, the log
// switch and the POP-before-SMTP login. It holds no state of its own beyond
// its controls; loading fills them from Data.ini, and saving writes
// Data.ini, replaces the running settings with what was saved and says so
// (saved()).
class SettingsWindow : public QDialog {
  Q_OBJECT

 public:
  // Builds the controls and loads them (showAndLoad). shownRecipient is the main
  // window's recipient as it stands. The running settings and the
  // send boxes (whose engine the POP test uses) must outlive the settings
  // window: a POP test may end after it has closed. The passwords are
  // those of settingsFile. openFolder shows the log folder (the desktop's
  // file manager unless a test records it).
  SettingsWindow(const SettingsFile& settingsFile, const QString& shownRecipient, MailSettings& running,
                 SendBoxes& sendBoxes, PasswordStore passwords, QWidget* parent = nullptr,
                 FolderOpener::Opener openFolder = &FolderOpener::open);
  ~SettingsWindow() override;

 signals:
  // The settings were saved and the running settings replaced.
  void saved();
  // 送信履歴... was pressed.
  void historyRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildControls();
  void nameControls();
  void buildBasicsFrame();
  void buildLogFrame();
  void buildBookFrame();
  void buildPopFrame();
  void layOutWindow();
  void setKeyboardOrder();
  void connectHandlers();
  void showAndLoad(const QString& shownRecipient);
  void centreOnScreen();
  void loadPasswords(const MailSettings& stored, const IniDocument& ini);
  void setPopControlsEnabled(bool enabled);

  void onSaveClicked();
  void onCancelClicked();
  void onOpenLogClicked();
  void onPopTestClicked();
  void onPopBeforeSmtpToggled();
  void onKeepLogToggled();
  void onSmtpDetailsClicked();
  void onPopSecurityChosen();
  // The POP port box as a port; a box and nothing when it is not one.
  bool takePopConnection(MailSettings& settings);
  // After a successful POP test: POP before SMTP is off for the run.
  static void forgetTestedPopLogin(MailSettings& running, const PasswordStore& passwords);
  bool everyValueStorable();
  // A box naming the value's characters that Data.ini cannot hold; false
  // when it holds them all.
  bool refusedAsUnstorable(const QString& caption, const QString& value);
  bool everyValueSendable();
  std::vector<std::pair<SendFailure::Setting, QString>> commandLineValues() const;
  // Stores the address book and section MAIL.
  // False when nothing was saved (the keyring refused the passwords).
  bool saveSettings();
  MailSettings settingsToStore();

  // Controls; each one's objectName is its member's name without the
  // underscore (the address edits: addressEdit0 to addressEdit4).
  QLabel* heading_ = nullptr;
  QGroupBox* basicsFrame_ = nullptr;
  QLabel* basicsNote_ = nullptr;
  QLabel* recipientCaption_ = nullptr;
  QLabel* fromCaption_ = nullptr;
  QLineEdit* senderEdit_ = nullptr;
  QLabel* serverCaption_ = nullptr;
  QLineEdit* smtpServerEdit_ = nullptr;
  QPushButton* smtpDetailsButton_ = nullptr;  // "詳細設定...": encryption, port, SMTP AUTH, character set
  QGroupBox* logFrame_ = nullptr;
  QLabel* logNote_ = nullptr;
  QLabel* logWarning_ = nullptr;
  QCheckBox* keepLogCheck_ = nullptr;
  QPushButton* openLogButton_ = nullptr;
  QPushButton* historyButton_ = nullptr;  // "送信履歴...": the sent-mail history window
  QGroupBox* bookFrame_ = nullptr;
  QLabel* bookNoteUnderlay_ = nullptr;
  QLabel* bookNote_ = nullptr;
  QLabel* bookHint_ = nullptr;
  QLabel* bookCaption1_ = nullptr;
  QLabel* bookCaption2_ = nullptr;
  QLabel* bookCaption3_ = nullptr;
  QLabel* bookCaption4_ = nullptr;
  QGroupBox* popFrame_ = nullptr;
  QLabel* popNote_ = nullptr;
  QCheckBox* popBeforeSmtpCheck_ = nullptr;
  QFrame* popControls_ = nullptr;
  QLabel* popServerCaption_ = nullptr;
  QLineEdit* popServerEdit_ = nullptr;
  QLabel* popUserCaption_ = nullptr;
  QLineEdit* popUserEdit_ = nullptr;
  QLabel* popPasswordCaption_ = nullptr;
  QLineEdit* popPasswordEdit_ = nullptr;
  QLabel* popSecurityCaption_ = nullptr;
  QComboBox* popSecurityBox_ = nullptr;  // なし / STLS / SSL/TLS
  QLabel* popPortCaption_ = nullptr;
  QLineEdit* popPortEdit_ = nullptr;
  QPushButton* popTestButton_ = nullptr;
  // Under the POP controls, only when the keyring did not give a password.
  QLabel* keyringSilentNote_ = nullptr;
  QPushButton* saveButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  QLabel* versionCaption_ = nullptr;
  // 0: the recipient address; 1 to 4: the address book.
  std::array<QLineEdit*, 5> addressEdits_{};

  const SettingsFile settingsFile_;
  const PasswordStore passwords_;
  MailSettings& running_;
  SmtpDetails smtpDetails_;  // as the details dialog left them, saved with the rest
  // The keyring did not give this password when the window opened.
  bool popPasswordUnread_ = false;
  bool smtpPasswordUnread_ = false;
  MailSettings::PasswordStore storedPasswordStore_ = MailSettings::PasswordStore::File;
  MailSettings::PopSecurity shownPopSecurity_ = MailSettings::PopSecurity::None;
  SendBoxes& sendBoxes_;
  const FolderOpener::Opener openFolder_;
};
