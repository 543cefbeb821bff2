#pragma once

#include "mail_transmission.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class SocketControl;

// The composing window: carrier and recipient choice, subject and body
// with their byte counters, and the buttons. It owns the socket control and
// the sending state; the widgets only forward their events.
class Talvenor : public QWidget {
  Q_OBJECT

 public:
  // Takes ownership of the socket control (tests may pass their own).
  explicit Talvenor(std::unique_ptr<SocketControl> winsock = nullptr, QWidget* parent = nullptr);
  ~Talvenor() override;

  // Shows the window and fills it from Data.ini.
  void Form_Load();
  // Fills the carrier list, the address list, the recipient and the
  // program-wide values from Data.ini.
  void INIT();

  // Opens the settings window modally; the start-up code installs it, so
  // the window does not depend on the settings window's code.
  std::function<void(Talvenor&)> openSettingsWindow;

  MailTransmission& transmission() { return *transmission_; }

  // Controls, by their names; the settings window reads and sets cmbTo.
  QLabel* Label3 = nullptr;
  QComboBox* Cmb = nullptr;
  QLabel* Label2 = nullptr;
  QComboBox* cmbTo = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* lblSubj = nullptr;
  QLineEdit* TxtSubj = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Lbl = nullptr;
  QPlainTextEdit* Txt = nullptr;
  QPushButton* CmdMail = nullptr;
  QPushButton* CmdClip = nullptr;
  QPushButton* CmdMailINIT = nullptr;
  QPushButton* CmdClose = nullptr;

  std::int32_t mLimit = 0;  // body byte limit of the chosen carrier; 0 = none

 private:
  std::unique_ptr<SocketControl> winsock_;
  std::unique_ptr<MailTransmission> transmission_;
};
