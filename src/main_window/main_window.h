#pragma once

#include "mail_settings.h"
#include "mail_transmission.h"
#include "password_store.h"
#include "send_boxes.h"
#include "settings_file.h"
#include "socket_control.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

class BodyByteTracker;
class SendProgress;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The composing window: carrier and recipient choice, subject and body
// with their byte counters, and the buttons. It owns the socket control and
// the sending state; the widgets only forward their events.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  // Runs with the settings of settingsFile, their passwords kept there or
  // in keyring; takes ownership of the socket control (tests may pass
  // their own, and the keyring module of their build).
  explicit MainWindow(const SettingsFile& settingsFile, std::unique_ptr<SocketControl> socket = nullptr,
                      Keyring keyring = Keyring(), QWidget* parent = nullptr);
  ~MainWindow() override;

  // Shows the window and fills it from the settings file (the start-up code).
  void showAndLoad();

  // The settings file the window runs with and its passwords, for the
  // windows it opens.
  const SettingsFile& settingsFile() const { return settingsFile_; }
  const PasswordStore& passwords() const { return passwords_; }

  // The sending engine and its boxes, the running settings and the shown
  // recipient, for the settings window's opener in the start-up code (and
  // for tests).
  MailTransmission& transmission() { return *transmission_; }
  SendBoxes& sendBoxes() { return *sendBoxes_; }
  // The mail settings the program runs with: read at start, replaced when
  // the settings are saved; the settings window's switches and its POP test
  // change them for the run.
  MailSettings& runningSettings() { return settings_; }
  // The recipient as the box shows it now.
  QString recipientText() const;
  // After the settings window saved: the recipient list and the recipient
  // from Data.ini, as saved.
  void takeSavedSettings();

  // The composing boxes, for the start-up code that fills them from the
  // sent-mail history. Tests find every control by its objectName instead.
  QComboBox* recipientBox() const { return recipientBox_; }
  QLineEdit* subjectEdit() const { return subjectEdit_; }
  QPlainTextEdit* bodyEdit() const { return bodyEdit_; }

  // The body's byte count, a line break counted as CR LF.
  qsizetype bodyByteCount();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 signals:
  // The settings window is asked for (メール設定); the start-up code opens
  // it, so the window does not depend on the settings window's code.
  void settingsRequested();
  // The sent-mail history is asked for (Ctrl+H).
  void historyRequested();

 private:
  // Fills the carrier list, the address list, the recipient and the running
  // mail settings from one read of the settings file.
  void loadSettings(const IniDocument& ini);
  // The chosen carrier's body limit, from ini, and the counter with it.
  void showCarrierLimit(const IniDocument& ini);

  // Event handlers, run by the controls' signals.
  void onCarrierChosen();
  void onCarrierLeft();
  void onRecipientLeft();
  void onSubjectChanged();
  void onBodyChanged();
  void onSendClicked();
  void onCopyClicked();
  void onSettingsClicked();
  void onCloseClicked();
  // Nothing typed goes without a word: a send under way, or a subject or
  // body not sent, asks before the window closes; false to keep it.
  bool mayClose();

  void buildControls();
  void nameControls();
  // Each builder places its controls from the height y down and returns
  // the height below them.
  int buildCarrierAndRecipient(int y);
  int buildSubjectAndBody(int y);
  void buildButtons(int y);
  void setKeyboardOrder();
  void connectHandlers();
  void countBody();
  void startDrag(QPointF position);
  void dragTo(QPointF position);
  void endDrag(QPointF position);
  // Undoes the combo box's own selecting of an item whose name was typed
  // in full: only a choice from the list selects a carrier.
  void keepCarrierSelection();

  // Controls; each one's objectName is its member's name without the underscore.
  QLabel* carrierCaption_ = nullptr;
  QComboBox* carrierBox_ = nullptr;
  QLabel* recipientCaption_ = nullptr;
  QComboBox* recipientBox_ = nullptr;
  QLabel* subjectCaption_ = nullptr;
  QLabel* subjectCounter_ = nullptr;
  QLineEdit* subjectEdit_ = nullptr;
  QLabel* bodyCaption_ = nullptr;
  QLabel* bodyCounter_ = nullptr;
  QPlainTextEdit* bodyEdit_ = nullptr;
  QPushButton* sendButton_ = nullptr;
  QPushButton* copyButton_ = nullptr;
  QPushButton* settingsButton_ = nullptr;
  QPushButton* closeButton_ = nullptr;

  std::int32_t bodyLimit_ = 0;  // body byte limit of the chosen carrier; 0 = none

  // A drag of the window by its bare surface: the pointer's position in
  // the window, in pixels, when the drag began.
  bool dragging_ = false;
  int dragStartX_ = 0;
  int dragStartY_ = 0;

  const SettingsFile settingsFile_;
  const PasswordStore passwords_;
  MailSettings settings_;
  std::unique_ptr<SocketControl> socket_;
  std::unique_ptr<MailTransmission> transmission_;
  std::unique_ptr<SendBoxes> sendBoxes_;
  BodyByteTracker* bodyBytes_ = nullptr;
  SendProgress* progress_ = nullptr;  // the status line and 中止, shown during a send
  // carrierBox's selection and text when its edit field finished an edit.
  int typedCarrierIndex_ = -1;
  QString typedCarrierText_;
  bool carrierEditFinishing_ = false;
  bool painted_ = false;
  // The subject and body are those of the last completed send (not edited since).
  bool draftSent_ = false;
};
