#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class MailTransmission;
struct MailSettings;

// The settings window: the core mail settings, the address book, the log
// switch and the POP-before-SMTP login. It holds no state of its own beyond
// its controls; loading fills them from Data.ini, and saving writes
// Data.ini, replaces the running settings with what was saved and says so
// (saved()).
class frmSettings : public QDialog {
  Q_OBJECT

 public:
  // Builds the controls and runs Form_Load. shownRecipient is the main
  // window's recipient as it stands. The running settings and the
  // transmission (whose connection the POP test uses) must outlive the
  // settings window: a POP test may end after it has closed.
  frmSettings(const QString& shownRecipient, MailSettings& running, MailTransmission& transmission,
              QWidget* parent = nullptr);
  ~frmSettings() override;

  // Stores the address book and section MAIL.
  void WriteConfig();

  // Controls, by their names.
  QLabel* Label11 = nullptr;
  QGroupBox* Frame3 = nullptr;
  QLabel* Label9 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* TxtFrom = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* TxtServer = nullptr;
  QGroupBox* Frame2 = nullptr;
  QLabel* Label10 = nullptr;
  QLabel* Label12 = nullptr;
  QCheckBox* ChkOUTLOG = nullptr;
  QPushButton* cmdLog = nullptr;
  QGroupBox* Frame1 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* lblAddrMsg = nullptr;
  QLabel* Label14 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label4 = nullptr;
  QGroupBox* Frame4 = nullptr;
  QLabel* Label13 = nullptr;
  QCheckBox* ChkPBSMTP = nullptr;
  QFrame* FraPBSMTP = nullptr;
  QLabel* lblServerPOP = nullptr;
  QLineEdit* TxtServerPOP = nullptr;
  QLabel* lblUSER = nullptr;
  QLineEdit* TxtUSER = nullptr;
  QLabel* lblPASS = nullptr;
  QLineEdit* TxtPASS = nullptr;
  QPushButton* CmdTest = nullptr;
  QPushButton* CmdOK = nullptr;
  QPushButton* CmdCancel = nullptr;
  QLabel* lblright = nullptr;
  // 0: the recipient address; 1 to 4: the address book.
  std::array<QLineEdit*, 5> TxtTo{};

 signals:
  // The settings were saved and the running settings replaced.
  void saved();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildControls();
  void Form_Load(const QString& shownRecipient);
  void setPopControlsEnabled(bool enabled);

  void CmdOK_Click();
  void CmdCancel_Click();
  void cmdLog_Click();
  void CmdTest_Click();
  void ChkPBSMTP_Click();
  void ChkOUTLOG_Click();

  MailSettings& running_;
  MailTransmission& transmission_;
};
