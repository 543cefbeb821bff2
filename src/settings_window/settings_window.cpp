#include "settings_window.h"

#include "cp932.h"
#include "data_ini_layout.h"
#include "focused_button.h"
#include "folder_opener.h"
#include "mail_settings.h"
#include "mail_text.h"
#include "send_boxes.h"
#include "send_report.h"
#include "message_box.h"
#include "password_store.h"
#include "plain_text.h"
#include "settings_controls.h"
#include "window_look.h"
#include "write_log.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <utility>

using namespace SettingsControls;


SettingsWindow::SettingsWindow(const SettingsFile& settingsFile, const QString& shownRecipient, MailSettings& running,
                               SendBoxes& sendBoxes, PasswordStore passwords, QWidget* parent,
                               FolderOpener::Opener openFolder)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      settingsFile_(settingsFile),
      passwords_(std::move(passwords)),
      running_(running),
      sendBoxes_(sendBoxes),
      openFolder_(std::move(openFolder)) {
  buildControls();
  nameControls();
  showAndLoad(shownRecipient);
  cancelButton_->setFocus();
}

SettingsWindow::~SettingsWindow() = default;


void SettingsWindow::keyPressEvent(QKeyEvent* event) {
  if (!pressFocusedButton(this, event)) QDialog::keyPressEvent(event);
}

// Centred on the screen the main window is on, border included as far as
// the platform knows it before the window is shown.
void SettingsWindow::centreOnScreen() {
  layout()->activate();
  create();
  const QMargins border = windowHandle() ? windowHandle()->frameMargins() : QMargins();
  const QSize outer = size().grownBy(border);
  const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    const QRect area = screen->geometry();
    const double left = (area.width() - outer.width()) / 2.0;
    const double top = (area.height() - outer.height()) / 2.0;
    move(area.x() + qRound(left), area.y() + qRound(top));
  }
}

// The passwords, from Data.ini or the keyring. One the keyring does not
// give shows empty and is kept as stored unless the user types another.
void SettingsWindow::loadPasswords(const MailSettings& stored, const IniDocument& ini) {
  KeyringTrouble unused;
  const std::optional<QString> popPassword = passwords_.fetch(stored, PasswordStore::Which::Pop, unused, ini);
  const std::optional<QString> smtpPassword = passwords_.fetch(stored, PasswordStore::Which::Smtp, unused, ini);
  popPasswordUnread_ = !popPassword;
  smtpPasswordUnread_ = !smtpPassword;
  popPasswordEdit_->setText(popPassword.value_or(QString()));
  smtpDetails_ = {stored.smtpSecurity, stored.smtpPort, stored.smtpAuth, stored.smtpUser,
                  smtpPassword.value_or(QString()), stored.charset, stored.passwordStore, smtpPasswordUnread_};
  keyringSilentNote_->setVisible(popPasswordUnread_ || smtpPasswordUnread_);
  storedPasswordStore_ = stored.passwordStore;
}

void SettingsWindow::showAndLoad(const QString& shownRecipient) {
  // 1. Where the window stands.
  centreOnScreen();

  // 2. The recipient as the main window shows it now, not the stored one.
  addressEdits_[0]->setText(shownRecipient);

  // 3. The address book.
  const IniDocument ini = settingsFile_.read();
  const QStringList book = DataIni::readAddressBook(ini);
  for (qsizetype i = 1; i < book.size(); ++i) addressEdits_[i]->setText(book[i]);

  // 4. Section MAIL.
  const MailSettings stored = DataIni::readMailSettings(ini);
  senderEdit_->setText(stored.from);
  smtpServerEdit_->setText(stored.smtpServer);
  popServerEdit_->setText(stored.popServer);
  popUserEdit_->setText(stored.popUser);
  loadPasswords(stored, ini);
  popSecurityBox_->setCurrentIndex(static_cast<int>(stored.popSecurity));
  shownPopSecurity_ = stored.popSecurity;
  popPortEdit_->setText(QString::number(stored.popPort));
  connect(popSecurityBox_, &QComboBox::currentIndexChanged, this, &SettingsWindow::onPopSecurityChosen);

  // 5. Opening the window puts the running POP-before-SMTP switch back to
  // the stored one (a POP test may have changed it).
  running_.popBeforeSmtp = stored.popBeforeSmtp;

  // 6. Checking the box turns the running log switch on through its
  // handler; a stored False leaves the running switch as it is.
  if (stored.keepLog) keepLogCheck_->setChecked(true);

  // 7. The POP controls.
  if (running_.popBeforeSmtp) {
    popBeforeSmtpCheck_->setChecked(true);
    setPopControlsEnabled(true);
  } else {
    popBeforeSmtpCheck_->setChecked(false);
    setPopControlsEnabled(false);
  }
}

void SettingsWindow::setPopControlsEnabled(bool enabled) {
  for (QWidget* control : {static_cast<QWidget*>(popServerEdit_), static_cast<QWidget*>(popUserEdit_),
                           static_cast<QWidget*>(popPasswordEdit_), static_cast<QWidget*>(popSecurityBox_),
                           static_cast<QWidget*>(popPortEdit_), static_cast<QWidget*>(popTestButton_)})
    control->setEnabled(enabled);
  // Enabled: the colour of button text. Disabled: the colour Windows gives
  // an inactive window border, a light grey close to the face colour; of
  // the palette's two shadow greys, Mid is the light one that matches it
  // (Dark would read as ordinary dark text on the blue background).
  const QPalette system = QApplication::palette();
  const QColor colour = system.color(enabled ? QPalette::ButtonText : QPalette::Mid);
  for (QWidget* control : {static_cast<QWidget*>(popControls_), static_cast<QWidget*>(popServerCaption_),
                           static_cast<QWidget*>(popUserCaption_), static_cast<QWidget*>(popPasswordCaption_),
                           static_cast<QWidget*>(popSecurityCaption_), static_cast<QWidget*>(popPortCaption_)})
    WindowLook::setTextColour(control, colour);
}

void SettingsWindow::onSaveClicked() {
  using MessageBox::Answer;
  using MessageBox::Buttons;
  using MessageBox::Icon;

  MailSettings popConnection;
  if (!takePopConnection(popConnection)) return;
  if (!everyValueStorable()) return;
  if (!everyValueSendable()) return;

  bool ask = true;
  if (popBeforeSmtpCheck_->isChecked()) {
    if (isBlank(popServerEdit_->text()) || isBlank(popUserEdit_->text()) || isBlank(popPasswordEdit_->text())) {
      const QString text = QStringLiteral("POP Before SMTP 設定に未入力の項目があります。") + kCrLf +
                           QStringLiteral("未入力のままにしますか？");
      if (MessageBox::show(text, Buttons::YesNo, Icon::None, QStringLiteral("POP Before SMTP 設定"),
                             Answer::Yes) != Answer::Yes)
        return;
      // The user has accepted missing entries once; save without asking again.
      ask = false;
    }
  }

  // Only really empty boxes count here: spaces pass.
  if (ask &&
      (addressEdits_[0]->text().isEmpty() || senderEdit_->text().isEmpty() || smtpServerEdit_->text().isEmpty())) {
    const QString text = QStringLiteral("基本設定に未入力の項目があります。") + kCrLf +
                         QStringLiteral("未入力のままにしますか？");
    if (MessageBox::show(text, Buttons::YesNo, Icon::None, QStringLiteral("Talvenor設定"), Answer::Yes) !=
        Answer::Yes)
      return;
  }

  if (!saveSettings()) return;
  running_ = DataIni::readMailSettings(settingsFile_.read());
  emit saved();
  accept();
}

void SettingsWindow::onCancelClicked() { reject(); }

// Data.ini holds the values in Shift-JIS: a character it cannot hold would
// come back as "?", so the window names it and stays open.
bool SettingsWindow::everyValueStorable() {
  const std::pair<QString, QString> values[] = {{recipientCaption_->text(), addressEdits_[0]->text()},
                                                {fromCaption_->text(), senderEdit_->text()},
                                                {serverCaption_->text(), smtpServerEdit_->text()},
                                                {bookCaption1_->text(), addressEdits_[1]->text()},
                                                {bookCaption2_->text(), addressEdits_[2]->text()},
                                                {bookCaption3_->text(), addressEdits_[3]->text()},
                                                {bookCaption4_->text(), addressEdits_[4]->text()}};
  for (const auto& [caption, value] : values)
    if (refusedAsUnstorable(caption, value)) return false;
  // Then the POP login and SMTP AUTH (the server, checked above, again).
  for (const auto& [setting, value] : commandLineValues())
    if (refusedAsUnstorable(SendReport::caption(setting), value)) return false;
  return true;
}

bool SettingsWindow::refusedAsUnstorable(const QString& caption, const QString& value) {
  const QString lost = Cp932::unmappable(value);
  if (lost.isEmpty()) return false;
  MessageBox::show(QStringLiteral("次の文字は保存できません：") + lost + kCrLf + QStringLiteral("（") + caption +
                       QStringLiteral("）"),
                   MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
  return true;
}

// Values go into the command lines to the servers: an address must not
// hold what would end it ("<", ">", ",", blanks), and no value a control
// character (a line break would add a command of its own). The window
// names the box and stays open.
bool SettingsWindow::everyValueSendable() {
  const std::pair<QLabel*, QLineEdit*> addresses[] = {
      {recipientCaption_, addressEdits_[0]}, {fromCaption_, senderEdit_},       {bookCaption1_, addressEdits_[1]},
      {bookCaption2_, addressEdits_[2]},     {bookCaption3_, addressEdits_[3]}, {bookCaption4_, addressEdits_[4]}};
  for (const auto& [caption, box] : addresses) {
    if (!MailText::holdsCharacterNotInAddress(trimBlanks(box->text()))) continue;
    MessageBox::show(QStringLiteral("メールアドレスに使えない文字（< > , 空白・改行など）が含まれています。") + kCrLf +
                           QStringLiteral("（") + caption->text() + QStringLiteral("）"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    box->setFocus();
    return false;
  }
  for (const auto& [setting, value] : commandLineValues()) {
    if (!MailText::holdsControlCharacter(value)) continue;
    MessageBox::show(QStringLiteral("改行などの制御文字は保存できません。") + kCrLf + QStringLiteral("（") +
                           SendReport::caption(setting) + QStringLiteral("）"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    return false;
  }
  return true;
}

// The values as typed that go into the command lines to the servers, in
// the order the checks name them.
std::vector<std::pair<SendFailure::Setting, QString>> SettingsWindow::commandLineValues() const {
  using Setting = SendFailure::Setting;
  return {{Setting::SmtpServer, smtpServerEdit_->text()}, {Setting::PopServer, popServerEdit_->text()},
          {Setting::PopUser, popUserEdit_->text()},        {Setting::PopPassword, popPasswordEdit_->text()},
          {Setting::SmtpUser, smtpDetails_.user},          {Setting::SmtpPassword, smtpDetails_.password}};
}

bool SettingsWindow::saveSettings() {
  MailSettings toStore = settingsToStore();
  // The keyring first: when it refuses, nothing is saved.
  if (const std::optional<KeyringTrouble> trouble = passwords_.keepInKeyring(toStore)) {
    MessageBox::show(QStringLiteral("パスワードをキーリングに保存できませんでした。設定は保存されていません。") +
                           kCrLf + kCrLf + SendReport::keyringWords(*trouble),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    return false;
  }

  // One write of the whole file: a file the store refuses (read-only, a
  // link, another user's) is refused before anything of it has changed.
  QStringList book;
  for (QLineEdit* edit : addressEdits_) book << trimBlanks(edit->text());
  const bool written = settingsFile_.update([&](IniDocument& ini) {
    DataIni::writeAddressBook(ini, book.first(), book);
    DataIni::writeMailSettings(ini, toStore);
    return true;
  });
  if (!written) {
    MessageBox::show(QStringLiteral("設定ファイル（Data.ini）に書き込めませんでした。設定は保存されていません。"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    return false;
  }

  running_.popBeforeSmtp = toStore.popBeforeSmtp;
  passwords_.leaveKeyring(toStore, storedPasswordStore_);
  return true;
}

MailSettings SettingsWindow::settingsToStore() {
  MailSettings toStore = running_;
  // Addresses and server names without the blanks around them.
  toStore.recipient = trimBlanks(addressEdits_[0]->text());
  toStore.from = trimBlanks(senderEdit_->text());
  toStore.smtpServer = trimBlanks(smtpServerEdit_->text());
  toStore.popBeforeSmtp = popBeforeSmtpCheck_->isChecked();
  // The log switch as the program runs with it; the box is not read.
  toStore.keepLog = running_.keepLog;
  toStore.popServer = trimBlanks(popServerEdit_->text());
  toStore.popUser = popUserEdit_->text();
  // A password the keyring did not give stays as stored, unless retyped.
  if (popPasswordUnread_ && !popPasswordEdit_->isModified())
    toStore.popPassword.reset();
  else
    toStore.popPassword = popPasswordEdit_->text();
  toStore.smtpSecurity = smtpDetails_.security;
  toStore.smtpPort = smtpDetails_.port;
  toStore.smtpAuth = smtpDetails_.auth;
  toStore.smtpUser = smtpDetails_.user;
  if (smtpPasswordUnread_ && smtpDetails_.password.isEmpty())
    toStore.smtpPassword.reset();
  else
    toStore.smtpPassword = smtpDetails_.password;
  toStore.charset = smtpDetails_.charset;
  toStore.passwordStore = smtpDetails_.passwordStore;
  takePopConnection(toStore);
  return toStore;
}

void SettingsWindow::onOpenLogClicked() {
  const QString path = MailLog::logFolderPath();
  if (QFileInfo::exists(path)) {
    if (openFolder_(path)) return;
    // A desktop with nothing that shows folders: at least say where it is.
    MessageBox::show(QStringLiteral("ログフォルダを開くプログラムが見つかりません。") + kCrLf + kCrLf +
                           QStringLiteral("ログフォルダのパス：") + kCrLf + path,
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, MessageBox::kApplicationTitle);
    return;
  }
  const QString text = QStringLiteral("ログフォルダが見つかりません。") + kCrLf +
                       QStringLiteral("もしくはログフォルダが移動された可能性があります。") + kCrLf + kCrLf +
                       QStringLiteral("ログフォルダのパス：") + kCrLf + path;
  MessageBox::show(text, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation,
                     MessageBox::kApplicationTitle);
}

void SettingsWindow::onPopTestClicked() {
  // The test logs in with the boxes as typed (neither trimmed nor checked),
  // and it leaves them in the running settings: after a success POP before
  // SMTP is off and the POP login empty for the run, after a failure they
  // stay as typed, until the settings are saved or the program starts
  // again. Data.ini is not touched.
  if (!takePopConnection(running_)) return;
  running_.popBeforeSmtp = true;
  running_.popUser = popUserEdit_->text();
  running_.popPassword = popPasswordEdit_->text();
  running_.popServer = popServerEdit_->text();
  // A success ends POP before SMTP for the run, also when this window is
  // gone by then: the running settings and the boxes outlive it.
  MailSettings& running = running_;
  connect(
      &sendBoxes_, &SendBoxes::popTestSucceeded, &sendBoxes_,
      [&running, passwords = passwords_] { forgetTestedPopLogin(running, passwords); }, Qt::SingleShotConnection);
  // The rest runs in the main window's socket events; the outcome is shown
  // there in a message box.
  sendBoxes_.testPopLogin();
}

void SettingsWindow::forgetTestedPopLogin(MailSettings& running, const PasswordStore& passwords) {
  running.popUser.clear();
  running.popPassword = QString();
  if (running.passwordStore == MailSettings::PasswordStore::Keyring) passwords.forgetKeyringPopPassword();
  running.popServer.clear();
  running.popBeforeSmtp = false;
}

void SettingsWindow::onSmtpDetailsClicked() {
  SmtpDetailsDialog dialog(smtpDetails_, passwords_.keyringAnswers(), this);
  if (dialog.exec() == QDialog::Accepted) smtpDetails_ = dialog.details();
}

void SettingsWindow::onPopSecurityChosen() {
  const auto chosen = static_cast<MailSettings::PopSecurity>(popSecurityBox_->currentIndex());
  followDefaultPort(popPortEdit_, MailSettings::defaultPort(shownPopSecurity_), MailSettings::defaultPort(chosen));
  shownPopSecurity_ = chosen;
}

bool SettingsWindow::takePopConnection(MailSettings& settings) {
  const std::optional<std::uint16_t> port = DataIni::parsePort(popPortEdit_->text());
  if (!port) {
    MessageBox::show(QStringLiteral("POPのポート番号は 1 から 65535 までの整数で入力してください。"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    popPortEdit_->setFocus();
    return false;
  }
  settings.popSecurity = static_cast<MailSettings::PopSecurity>(popSecurityBox_->currentIndex());
  settings.popPort = *port;
  return true;
}

void SettingsWindow::onPopBeforeSmtpToggled() {
  // The running switch is left alone: saving takes it from the box.
  setPopControlsEnabled(popBeforeSmtpCheck_->isChecked());
}

void SettingsWindow::onKeepLogToggled() {
  // Takes effect for the running program at once, saved or not.
  running_.keepLog = keepLogCheck_->isChecked();
}
