#include "settings_window.h"

#include "cp932.h"
#include "data_ini_layout.h"
#include "focused_button.h"
#include "folder_opener.h"
#include "keyring.h"
#include "mail_settings.h"
#include "mail_text.h"
#include "send_boxes.h"
#include "message_box.h"
#include "ini_file.h"
#include "password_store.h"
#include "plain_text.h"
#include "settings_controls.h"
#include "talvenor_version.h"
#include "window_look.h"
#include "write_log.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <initializer_list>

namespace {

using namespace SettingsControls;
using WindowLook::paintBackground;
const QColor& kFormColour = WindowLook::kWindowColour;

constexpr int kAddressBoxWidth = 230;
constexpr int kPopBoxWidth = 170;

}  // namespace

SettingsWindow::SettingsWindow(const QString& shownRecipient, MailSettings& running, SendBoxes& sendBoxes,
                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      running_(running),
      sendBoxes_(sendBoxes) {
  buildControls();
  showAndLoad(shownRecipient);
  cancelButton->setFocus();
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::buildControls() {
  setWindowTitle(QStringLiteral("Talvenor設定"));
  paintBackground(this, kFormColour);
  heading = label(QStringLiteral("メールを送信するための設定を行います。"), this);
  buildCoreFrame();
  buildLogFrame();
  buildBookFrame();
  buildPopFrame();
  layOutWindow();
  setKeyboardOrder();
  connectHandlers();
}

void SettingsWindow::buildCoreFrame() {
  basicsFrame = frame(QStringLiteral("基本設定"), this);
  basicsNote = label(QStringLiteral("Talvenorが機能する、必要最低限の項目です。"), basicsFrame);
  recipientCaption = label(QStringLiteral("宛先メールアドレス"), basicsFrame);
  addressEdits[0] = textBox(basicsFrame, kAddressBoxWidth);
  fromCaption = label(QStringLiteral("差出人メールアドレス"), basicsFrame);
  senderEdit = textBox(basicsFrame, kAddressBoxWidth);
  serverCaption = label(QStringLiteral("SMTPサーバ名"), basicsFrame);
  smtpServerEdit = textBox(basicsFrame, kAddressBoxWidth);
  smtpDetailsButton = button(QStringLiteral("詳細設定..."), basicsFrame);
  {
    auto* layout = new QGridLayout(basicsFrame);
    layout->addWidget(basicsNote, 0, 0, 1, 2);
    layout->addWidget(recipientCaption, 1, 0);
    layout->addWidget(addressEdits[0], 1, 1);
    layout->addWidget(fromCaption, 2, 0);
    layout->addWidget(senderEdit, 2, 1);
    layout->addWidget(serverCaption, 3, 0);
    layout->addWidget(smtpServerEdit, 3, 1);
    layout->addWidget(smtpDetailsButton, 4, 1, Qt::AlignRight);
    layout->setRowStretch(5, 1);
  }
}

void SettingsWindow::buildLogFrame() {
  logFrame = frame(QStringLiteral("メール送信ログ"), this);
  logNote = label(QStringLiteral("以前に送信したメールが閲覧できます。"), logFrame);
  logWarning = label(QStringLiteral("（ログはこのユーザーだけが開けます。）"), logFrame);
  keepLogCheck = checkBox(QStringLiteral("メール送信ログを残す"), logFrame);
  openLogButton = button(QStringLiteral("ログを開く"), logFrame);
  historyButton = button(QStringLiteral("送信履歴..."), logFrame);
  {
    auto* layout = new QVBoxLayout(logFrame);
    layout->addWidget(logNote);
    layout->addWidget(logWarning);
    layout->addWidget(keepLogCheck);
    auto* logButtons = new QHBoxLayout;
    logButtons->addWidget(openLogButton);
    logButtons->addWidget(historyButton);
    logButtons->addStretch(1);
    layout->addLayout(logButtons);
    layout->addStretch(1);
  }
}

void SettingsWindow::buildBookFrame() {
  bookFrame = frame(QStringLiteral("簡易メールアドレス帳"), this);
  // An empty label lying under bookNote in the frame's colour: created
  // first and lowered, so nothing of it shows.
  bookNoteUnderlay = label(QString(), bookFrame);
  bookNote = label(QStringLiteral("複数のアドレスから選択できるようになります。"), bookFrame);
  bookHint = label(QStringLiteral("（メイン画面のコンボボックスから選択できます。）"), bookFrame);
  bookCaption1 = label(QStringLiteral("登録メールアドレス１"), bookFrame);
  addressEdits[1] = textBox(bookFrame, kAddressBoxWidth);
  bookCaption2 = label(QStringLiteral("登録メールアドレス２"), bookFrame);
  addressEdits[2] = textBox(bookFrame, kAddressBoxWidth);
  bookCaption3 = label(QStringLiteral("登録メールアドレス３"), bookFrame);
  addressEdits[3] = textBox(bookFrame, kAddressBoxWidth);
  bookCaption4 = label(QStringLiteral("登録メールアドレス４"), bookFrame);
  addressEdits[4] = textBox(bookFrame, kAddressBoxWidth);
  {
    auto* layout = new QGridLayout(bookFrame);
    layout->addWidget(bookNoteUnderlay, 0, 0, 1, 2);
    layout->addWidget(bookNote, 0, 0, 1, 2);
    bookNoteUnderlay->lower();
    layout->addWidget(bookHint, 1, 0, 1, 2);
    const std::array<QLabel*, 4> bookLabels{bookCaption1, bookCaption2, bookCaption3, bookCaption4};
    for (int i = 0; i < 4; ++i) {
      layout->addWidget(bookLabels[i], i + 2, 0);
      layout->addWidget(addressEdits[i + 1], i + 2, 1);
    }
    layout->setRowStretch(6, 1);
  }
}

void SettingsWindow::buildPopFrame() {
  popFrame = frame(QStringLiteral("POP Before SMTP 設定"), this);
  popNote = label(QStringLiteral("よく分からない場合は、設定しなくてもよいでしょう。"), popFrame);
  popBeforeSmtpCheck = checkBox(QStringLiteral("POP Before SMTPを使う"), popFrame);
  popControls = new QFrame(popFrame);
  popControls->setFrameShape(QFrame::NoFrame);
  paintBackground(popControls, kFormColour);
  popServerCaption = label(QStringLiteral("POPサーバ名"), popControls);
  popServerEdit = textBox(popControls, kPopBoxWidth);
  popUserCaption = label(QStringLiteral("POPユーザ名"), popControls);
  popUserEdit = textBox(popControls, kPopBoxWidth);
  popPasswordCaption = label(QStringLiteral("POPパスワード"), popControls);
  popPasswordEdit = passwordBox(popControls, kPopBoxWidth);
  popSecurityCaption = label(QStringLiteral("POP暗号化"), popControls);
  popSecurityBox = new QComboBox(popControls);
  popSecurityBox->addItems({QStringLiteral("なし"), QStringLiteral("STLS"), QStringLiteral("SSL/TLS")});
  popPortCaption = label(QStringLiteral("POPポート番号"), popControls);
  popPortEdit = textBox(popControls, kPopBoxWidth);
  popTestButton = button(QStringLiteral("POPサーバーのテスト"), popControls);
  keyringSilentNote = label(PasswordStore::kKeyringSilentNote, popFrame);
  keyringSilentNote->setWordWrap(true);
  keyringSilentNote->hide();
  {
    auto* layout = new QGridLayout(popControls);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(popServerCaption, 0, 0);
    layout->addWidget(popServerEdit, 0, 1);
    layout->addWidget(popUserCaption, 1, 0);
    layout->addWidget(popUserEdit, 1, 1);
    layout->addWidget(popPasswordCaption, 2, 0);
    layout->addWidget(popPasswordEdit, 2, 1);
    layout->addWidget(popSecurityCaption, 3, 0);
    layout->addWidget(popSecurityBox, 3, 1);
    layout->addWidget(popPortCaption, 4, 0);
    layout->addWidget(popPortEdit, 4, 1);
    layout->addWidget(popTestButton, 5, 1, Qt::AlignRight);
  }
  {
    auto* layout = new QVBoxLayout(popFrame);
    layout->addWidget(popNote);
    layout->addWidget(popBeforeSmtpCheck);
    layout->addWidget(popControls);
    layout->addWidget(keyringSilentNote);
    layout->addStretch(1);
  }
}

// The four frames two by two under the heading; the version line and the
// closing buttons below them.
void SettingsWindow::layOutWindow() {
  saveButton = button(QStringLiteral("保存して閉じる"), this);
  cancelButton = button(QStringLiteral("保存せずに閉じる"), this);
  versionCaption = new QLabel(QStringLiteral("Talvenor Ver ") + QLatin1String(TalvenorVersion::kText), this);
  versionCaption->setFont(WindowLook::proportionalFont(versionCaption->font()));

  {
    auto* root = new QVBoxLayout(this);
    // The window keeps the size of its contents and cannot be resized.
    root->setSizeConstraint(QLayout::SetFixedSize);
    root->addWidget(heading);
    auto* frames = new QGridLayout;
    frames->addWidget(basicsFrame, 0, 0);
    frames->addWidget(logFrame, 0, 1);
    frames->addWidget(bookFrame, 1, 0);
    frames->addWidget(popFrame, 1, 1);
    root->addLayout(frames);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(versionCaption);
    bottom->addStretch(1);
    bottom->addWidget(saveButton);
    bottom->addWidget(cancelButton);
    root->addLayout(bottom);
  }
}

void SettingsWindow::setKeyboardOrder() {
  // Each label names the box beside it.
  recipientCaption->setBuddy(addressEdits[0]);
  fromCaption->setBuddy(senderEdit);
  serverCaption->setBuddy(smtpServerEdit);
  bookCaption1->setBuddy(addressEdits[1]);
  bookCaption2->setBuddy(addressEdits[2]);
  bookCaption3->setBuddy(addressEdits[3]);
  bookCaption4->setBuddy(addressEdits[4]);
  popServerCaption->setBuddy(popServerEdit);
  popUserCaption->setBuddy(popUserEdit);
  popPasswordCaption->setBuddy(popPasswordEdit);
  popSecurityCaption->setBuddy(popSecurityBox);
  popPortCaption->setBuddy(popPortEdit);

  // Keyboard order; the window opens with the focus on CmdCancel.
  const std::initializer_list<QWidget*> tabOrder{
      cancelButton, addressEdits[0], senderEdit,   smtpServerEdit,    smtpDetailsButton, addressEdits[1],       addressEdits[2],   addressEdits[3], addressEdits[4],
      keepLogCheck, openLogButton,   historyButton, popBeforeSmtpCheck, popServerEdit, popUserEdit,        popPasswordEdit,        popSecurityBox, popPortEdit, popTestButton,
      saveButton};
  QWidget* previous = nullptr;
  for (QWidget* widget : tabOrder) {
    if (previous) setTabOrder(previous, widget);
    previous = widget;
  }
}

void SettingsWindow::connectHandlers() {
  connect(saveButton, &QPushButton::clicked, this, &SettingsWindow::onSaveClicked);
  connect(cancelButton, &QPushButton::clicked, this, &SettingsWindow::onCancelClicked);
  connect(openLogButton, &QPushButton::clicked, this, &SettingsWindow::onOpenLogClicked);
  connect(historyButton, &QPushButton::clicked, this, &SettingsWindow::historyRequested);
  connect(popTestButton, &QPushButton::clicked, this, &SettingsWindow::onPopTestClicked);
  connect(smtpDetailsButton, &QPushButton::clicked, this, &SettingsWindow::onSmtpDetailsClicked);
  // toggled, not clicked: the handlers also run when loading sets a box.
  connect(popBeforeSmtpCheck, &QCheckBox::toggled, this, &SettingsWindow::onPopBeforeSmtpToggled);
  connect(keepLogCheck, &QCheckBox::toggled, this, &SettingsWindow::onKeepLogToggled);
}

void SettingsWindow::keyPressEvent(QKeyEvent* event) {
  if (!pressFocusedButton(this, event)) QDialog::keyPressEvent(event);
}

void SettingsWindow::showAndLoad(const QString& shownRecipient) {
  // 1. Centred on the screen the main window is on, border included as far
  // as the platform knows it before the window is shown.
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

  // 2. The recipient as the main window shows it now, not the stored one.
  addressEdits[0]->setText(shownRecipient);

  // 3. The address book.
  const IniFile::ReadBatch oneRead;
  const int count = DataIni::addrNum();
  for (int i = 1; i <= count; ++i)
    addressEdits[i]->setText(DataIni::readScrambled(DataIni::Section::AddrIndex, DataIni::indexKey(i)));

  // 4. Section MAIL.
  const MailSettings stored = DataIni::readMailSettings();
  senderEdit->setText(stored.from);
  smtpServerEdit->setText(stored.smtpServer);
  popServerEdit->setText(stored.popServer);
  popUserEdit->setText(stored.popUser);
  // The passwords, from Data.ini or the keyring. One the keyring does not
  // give shows empty and is kept as stored unless the user types another.
  QString why;
  const std::optional<QString> popPassword = PasswordStore::fetch(stored, PasswordStore::Which::Pop, why);
  const std::optional<QString> smtpPassword = PasswordStore::fetch(stored, PasswordStore::Which::Smtp, why);
  popPasswordUnread_ = !popPassword;
  smtpPasswordUnread_ = !smtpPassword;
  popPasswordEdit->setText(popPassword.value_or(QString()));
  smtpDetails_ = {stored.smtpSecurity, stored.smtpPort, stored.smtpAuth, stored.smtpUser,
                  smtpPassword.value_or(QString()), stored.charset, stored.passwordStore, smtpPasswordUnread_};
  keyringSilentNote->setVisible(popPasswordUnread_ || smtpPasswordUnread_);
  storedPasswordStore_ = stored.passwordStore;
  popSecurityBox->setCurrentIndex(static_cast<int>(stored.popSecurity));
  shownPopSecurity_ = stored.popSecurity;
  popPortEdit->setText(QString::number(stored.popPort));
  connect(popSecurityBox, &QComboBox::currentIndexChanged, this, &SettingsWindow::onPopSecurityChosen);

  // 5. Opening the window puts the running POP-before-SMTP switch back to
  // the stored one (a POP test may have changed it).
  running_.popBeforeSmtp = stored.popBeforeSmtp;

  // 6. Checking the box turns the running log switch on through its
  // handler; a stored False leaves the running switch as it is.
  if (stored.keepLog) keepLogCheck->setChecked(true);

  // 7. The POP controls.
  if (running_.popBeforeSmtp) {
    popBeforeSmtpCheck->setChecked(true);
    setPopControlsEnabled(true);
  } else {
    popBeforeSmtpCheck->setChecked(false);
    setPopControlsEnabled(false);
  }
}

void SettingsWindow::setPopControlsEnabled(bool enabled) {
  for (QWidget* control : {static_cast<QWidget*>(popServerEdit), static_cast<QWidget*>(popUserEdit),
                           static_cast<QWidget*>(popPasswordEdit), static_cast<QWidget*>(popSecurityBox),
                           static_cast<QWidget*>(popPortEdit), static_cast<QWidget*>(popTestButton)})
    control->setEnabled(enabled);
  // Enabled: the colour of button text. Disabled: the colour Windows gives
  // an inactive window border, a light grey close to the face colour; of
  // the palette's two shadow greys, Mid is the light one that matches it
  // (Dark would read as ordinary dark text on the blue background).
  const QPalette system = QApplication::palette();
  const QColor colour = system.color(enabled ? QPalette::ButtonText : QPalette::Mid);
  for (QWidget* control : {static_cast<QWidget*>(popControls), static_cast<QWidget*>(popServerCaption),
                           static_cast<QWidget*>(popUserCaption), static_cast<QWidget*>(popPasswordCaption),
                           static_cast<QWidget*>(popSecurityCaption), static_cast<QWidget*>(popPortCaption)})
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
  if (popBeforeSmtpCheck->isChecked()) {
    if (isBlank(popServerEdit->text()) || isBlank(popUserEdit->text()) || isBlank(popPasswordEdit->text())) {
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
  if (ask && (addressEdits[0]->text().isEmpty() || senderEdit->text().isEmpty() || smtpServerEdit->text().isEmpty())) {
    const QString text = QStringLiteral("基本設定に未入力の項目があります。") + kCrLf +
                         QStringLiteral("未入力のままにしますか？");
    if (MessageBox::show(text, Buttons::YesNo, Icon::None, QStringLiteral("Talvenor設定"), Answer::Yes) !=
        Answer::Yes)
      return;
  }

  if (!saveSettings()) return;
  running_ = DataIni::readMailSettings();
  emit saved();
  accept();
}

void SettingsWindow::onCancelClicked() { reject(); }

// Data.ini holds the values in Shift-JIS: a character it cannot hold would
// come back as "?", so the window names it and stays open.
bool SettingsWindow::everyValueStorable() {
  const std::pair<QString, QString> values[] = {
      {recipientCaption->text(), addressEdits[0]->text()}, {fromCaption->text(), senderEdit->text()},
      {serverCaption->text(), smtpServerEdit->text()},   {bookCaption1->text(), addressEdits[1]->text()},
      {bookCaption2->text(), addressEdits[2]->text()},     {bookCaption3->text(), addressEdits[3]->text()},
      {bookCaption4->text(), addressEdits[4]->text()},     {popServerCaption->text(), popServerEdit->text()},
      {popUserCaption->text(), popUserEdit->text()},           {popPasswordCaption->text(), popPasswordEdit->text()},
      {QStringLiteral("SMTP 認証のユーザ名"), smtpDetails_.user},
      {QStringLiteral("SMTP 認証のパスワード"), smtpDetails_.password}};
  for (const auto& [caption, value] : values) {
    const QString lost = Cp932::unmappable(value);
    if (lost.isEmpty()) continue;
    MessageBox::show(QStringLiteral("次の文字は保存できません：") + lost + kCrLf + QStringLiteral("（") + caption +
                           QStringLiteral("）"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    return false;
  }
  return true;
}

// Values go into the command lines to the servers: an address must not
// hold what would end it ("<", ">", ",", blanks), and no value a control
// character (a line break would add a command of its own). The window
// names the box and stays open.
bool SettingsWindow::everyValueSendable() {
  const std::pair<QLabel*, QLineEdit*> addresses[] = {{recipientCaption, addressEdits[0]}, {fromCaption, senderEdit},
                                                      {bookCaption1, addressEdits[1]},     {bookCaption2, addressEdits[2]},
                                                      {bookCaption3, addressEdits[3]},     {bookCaption4, addressEdits[4]}};
  for (const auto& [caption, box] : addresses) {
    if (!MailText::HoldsCharacterNotInAddress(trimBlanks(box->text()))) continue;
    MessageBox::show(QStringLiteral("メールアドレスに使えない文字（< > , 空白・改行など）が含まれています。") + kCrLf +
                           QStringLiteral("（") + caption->text() + QStringLiteral("）"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    box->setFocus();
    return false;
  }
  const std::pair<QString, QString> values[] = {{serverCaption->text(), smtpServerEdit->text()},
                                                {popServerCaption->text(), popServerEdit->text()},
                                                {popUserCaption->text(), popUserEdit->text()},
                                                {popPasswordCaption->text(), popPasswordEdit->text()},
                                                {QStringLiteral("SMTP 認証のユーザ名"), smtpDetails_.user},
                                                {QStringLiteral("SMTP 認証のパスワード"), smtpDetails_.password}};
  for (const auto& [caption, value] : values) {
    if (!MailText::HoldsControlCharacter(value)) continue;
    MessageBox::show(QStringLiteral("改行などの制御文字は保存できません。") + kCrLf + QStringLiteral("（") + caption +
                           QStringLiteral("）"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    return false;
  }
  return true;
}

bool SettingsWindow::saveSettings() {
  using DataIni::indexKey;
  namespace Section = DataIni::Section;
  namespace Key = DataIni::Key;

  MailSettings toStore = settingsToStore();
  // The keyring first: when it refuses, nothing is saved.
  if (QString why; !PasswordStore::keepInKeyring(toStore, why)) {
    MessageBox::show(QStringLiteral("パスワードをキーリングに保存できませんでした。設定は保存されていません。") +
                           kCrLf + kCrLf + why,
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    return false;
  }

  // The numbered list is emptied first, so it never keeps a stale entry.
  // A file the store refuses (read-only, a link, another user's) refuses
  // the first write, before anything of the file has changed.
  if (IniFile::write(Section::AddrIndex, indexKey(0), QString()) == 0) {
    MessageBox::show(QStringLiteral("設定ファイル（Data.ini）に書き込めませんでした。設定は保存されていません。"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    return false;
  }
  for (int i = 1; i <= DataIni::kMaxAddrIndex; ++i) IniFile::write(Section::AddrIndex, indexKey(i), QString());
  DataIni::writeScrambled(Section::AddrIndex, indexKey(0), trimBlanks(addressEdits[0]->text()));

  // The non-blank book entries, renumbered from 1 without gaps, without
  // the blanks around them.
  int count = 0;
  for (int n = 1; n <= DataIni::kMaxAddrIndex; ++n) {
    const QString entry = trimBlanks(addressEdits[n]->text());
    if (entry.isEmpty()) continue;
    ++count;
    DataIni::writeScrambled(Section::AddrIndex, indexKey(count), entry);
  }
  IniFile::write(Section::AddrNum, Key::Num, QString::number(count));

  running_.popBeforeSmtp = toStore.popBeforeSmtp;
  DataIni::writeMailSettings(toStore);
  PasswordStore::leaveKeyring(toStore, storedPasswordStore_);
  return true;
}

MailSettings SettingsWindow::settingsToStore() {
  MailSettings toStore = running_;
  // Addresses and server names without the blanks around them.
  toStore.recipient = trimBlanks(addressEdits[0]->text());
  toStore.from = trimBlanks(senderEdit->text());
  toStore.smtpServer = trimBlanks(smtpServerEdit->text());
  toStore.popBeforeSmtp = popBeforeSmtpCheck->isChecked();
  // The log switch as the program runs with it; the box is not read.
  toStore.keepLog = running_.keepLog;
  toStore.popServer = trimBlanks(popServerEdit->text());
  toStore.popUser = popUserEdit->text();
  // A password the keyring did not give stays as stored, unless retyped.
  if (popPasswordUnread_ && !popPasswordEdit->isModified())
    toStore.popPassword.reset();
  else
    toStore.popPassword = popPasswordEdit->text();
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
  const QString path = MailLog::LogFolderPath();
  if (QFileInfo::exists(path)) {
    if (FolderOpener::open(path)) return;
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
  running_.popUser = popUserEdit->text();
  running_.popPassword = popPasswordEdit->text();
  running_.popServer = popServerEdit->text();
  // A success ends POP before SMTP for the run, also when this window is
  // gone by then: the running settings and the boxes outlive it.
  MailSettings& running = running_;
  connect(
      &sendBoxes_, &SendBoxes::popTestSucceeded, &sendBoxes_, [&running] { forgetTestedPopLogin(running); },
      Qt::SingleShotConnection);
  // The rest runs in the main window's socket events; the outcome is shown
  // there in a message box.
  sendBoxes_.testPopLogin();
}

void SettingsWindow::forgetTestedPopLogin(MailSettings& running) {
  running.popUser.clear();
  running.popPassword = QString();
  if (running.passwordStore == MailSettings::PasswordStore::Keyring) PasswordStore::forgetKeyringPopPassword();
  running.popServer.clear();
  running.popBeforeSmtp = false;
}

void SettingsWindow::onSmtpDetailsClicked() {
  SmtpDetailsDialog dialog(smtpDetails_, Keyring::serviceAnswers(), this);
  if (dialog.exec() == QDialog::Accepted) smtpDetails_ = dialog.details();
}

void SettingsWindow::onPopSecurityChosen() {
  const auto chosen = static_cast<MailSettings::PopSecurity>(popSecurityBox->currentIndex());
  followDefaultPort(popPortEdit, MailSettings::defaultPort(shownPopSecurity_), MailSettings::defaultPort(chosen));
  shownPopSecurity_ = chosen;
}

bool SettingsWindow::takePopConnection(MailSettings& settings) {
  const std::optional<std::uint16_t> port = DataIni::parsePort(popPortEdit->text());
  if (!port) {
    MessageBox::show(QStringLiteral("POPのポート番号は 1 から 65535 までの整数で入力してください。"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    popPortEdit->setFocus();
    return false;
  }
  settings.popSecurity = static_cast<MailSettings::PopSecurity>(popSecurityBox->currentIndex());
  settings.popPort = *port;
  return true;
}

void SettingsWindow::onPopBeforeSmtpToggled() {
  // The running switch is left alone: saving takes it from the box.
  setPopControlsEnabled(popBeforeSmtpCheck->isChecked());
}

void SettingsWindow::onKeepLogToggled() {
  // Takes effect for the running program at once, saved or not.
  running_.keepLog = keepLogCheck->isChecked();
}
