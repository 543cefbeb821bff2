#pragma once

#include "smtp_details_dialog.h"

#include <QDialog>
#include <array>

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
  // window: a POP test may end after it has closed.
  SettingsWindow(const QString& shownRecipient, MailSettings& running, SendBoxes& sendBoxes,
              QWidget* parent = nullptr);
  ~SettingsWindow() override;

  // Stores the address book and section MAIL.
  // False when nothing was saved (the keyring refused the passwords).
  bool saveSettings();
  MailSettings settingsToStore();

  // Controls, by their names.
  QLabel* heading = nullptr;
  QGroupBox* basicsFrame = nullptr;
  QLabel* basicsNote = nullptr;
  QLabel* recipientCaption = nullptr;
  QLabel* fromCaption = nullptr;
  QLineEdit* senderEdit = nullptr;
  QLabel* serverCaption = nullptr;
  QLineEdit* smtpServerEdit = nullptr;
  QPushButton* smtpDetailsButton = nullptr;  // "詳細設定...": encryption, port, SMTP AUTH, character set
  QGroupBox* logFrame = nullptr;
  QLabel* logNote = nullptr;
  QLabel* logWarning = nullptr;
  QCheckBox* keepLogCheck = nullptr;
  QPushButton* openLogButton = nullptr;
  QPushButton* historyButton = nullptr;  // "送信履歴...": the sent-mail history window
  QGroupBox* bookFrame = nullptr;
  QLabel* bookNoteUnderlay = nullptr;
  QLabel* bookNote = nullptr;
  QLabel* bookHint = nullptr;
  QLabel* bookCaption1 = nullptr;
  QLabel* bookCaption2 = nullptr;
  QLabel* bookCaption3 = nullptr;
  QLabel* bookCaption4 = nullptr;
  QGroupBox* popFrame = nullptr;
  QLabel* popNote = nullptr;
  QCheckBox* popBeforeSmtpCheck = nullptr;
  QFrame* popControls = nullptr;
  QLabel* popServerCaption = nullptr;
  QLineEdit* popServerEdit = nullptr;
  QLabel* popUserCaption = nullptr;
  QLineEdit* popUserEdit = nullptr;
  QLabel* popPasswordCaption = nullptr;
  QLineEdit* popPasswordEdit = nullptr;
  QLabel* popSecurityCaption = nullptr;
  QComboBox* popSecurityBox = nullptr;  // なし / STLS / SSL/TLS
  QLabel* popPortCaption = nullptr;
  QLineEdit* popPortEdit = nullptr;
  QPushButton* popTestButton = nullptr;
  // Under the POP controls, only when the keyring did not give a password.
  QLabel* keyringSilentNote = nullptr;
  QPushButton* saveButton = nullptr;
  QPushButton* cancelButton = nullptr;
  QLabel* versionCaption = nullptr;
  // 0: the recipient address; 1 to 4: the address book.
  std::array<QLineEdit*, 5> addressEdits{};

 signals:
  // The settings were saved and the running settings replaced.
  void saved();
  // 送信履歴... was pressed.
  void historyRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildControls();
  void buildCoreFrame();
  void buildLogFrame();
  void buildBookFrame();
  void buildPopFrame();
  void layOutWindow();
  void setKeyboardOrder();
  void connectHandlers();
  void showAndLoad(const QString& shownRecipient);
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
  static void forgetTestedPopLogin(MailSettings& running);
  bool everyValueStorable();
  bool everyValueSendable();

  MailSettings& running_;
  SmtpDetails smtpDetails_;  // as the details dialog left them, saved with the rest
  // The keyring did not give this password when the window opened.
  bool popPasswordUnread_ = false;
  bool smtpPasswordUnread_ = false;
  MailSettings::PasswordStore storedPasswordStore_ = MailSettings::PasswordStore::File;
  MailSettings::PopSecurity shownPopSecurity_ = MailSettings::PopSecurity::None;
  SendBoxes& sendBoxes_;
};
