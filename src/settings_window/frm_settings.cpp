#include "frm_settings.h"

#include "ansi_code_page.h"
#include "data_ini_layout.h"
#include "focused_button.h"
#include "folder_opener.h"
#include "keyring.h"
#include "mail_settings.h"
#include "mail_text.h"
#include "send_boxes.h"
#include "message_box.h"
#include "mod_ini.h"
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

frmSettings::frmSettings(const QString& shownRecipient, MailSettings& running, SendBoxes& sendBoxes,
                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      running_(running),
      sendBoxes_(sendBoxes) {
  buildControls();
  Form_Load(shownRecipient);
  CmdCancel->setFocus();
}

frmSettings::~frmSettings() = default;

void frmSettings::buildControls() {
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

void frmSettings::buildCoreFrame() {
  coreFrame = frame(QStringLiteral("基本設定"), this);
  coreNote = label(QStringLiteral("Talvenorが機能する、必要最低限の項目です。"), coreFrame);
  recipientCaption = label(QStringLiteral("宛先メールアドレス"), coreFrame);
  TxtTo[0] = textBox(coreFrame, kAddressBoxWidth);
  fromCaption = label(QStringLiteral("差出人メールアドレス"), coreFrame);
  TxtFrom = textBox(coreFrame, kAddressBoxWidth);
  serverCaption = label(QStringLiteral("SMTPサーバ名"), coreFrame);
  TxtServer = textBox(coreFrame, kAddressBoxWidth);
  cmdSmtpDetails = button(QStringLiteral("詳細設定..."), coreFrame);
  {
    auto* layout = new QGridLayout(coreFrame);
    layout->addWidget(coreNote, 0, 0, 1, 2);
    layout->addWidget(recipientCaption, 1, 0);
    layout->addWidget(TxtTo[0], 1, 1);
    layout->addWidget(fromCaption, 2, 0);
    layout->addWidget(TxtFrom, 2, 1);
    layout->addWidget(serverCaption, 3, 0);
    layout->addWidget(TxtServer, 3, 1);
    layout->addWidget(cmdSmtpDetails, 4, 1, Qt::AlignRight);
    layout->setRowStretch(5, 1);
  }
}

void frmSettings::buildLogFrame() {
  logFrame = frame(QStringLiteral("メール送信ログ"), this);
  logNote = label(QStringLiteral("以前に送信したメールが閲覧できます。"), logFrame);
  logWarning = label(QStringLiteral("（ログはこのユーザーだけが開けます。）"), logFrame);
  ChkOUTLOG = checkBox(QStringLiteral("メール送信ログを残す"), logFrame);
  cmdLog = button(QStringLiteral("ログを開く"), logFrame);
  cmdHistory = button(QStringLiteral("送信履歴..."), logFrame);
  {
    auto* layout = new QVBoxLayout(logFrame);
    layout->addWidget(logNote);
    layout->addWidget(logWarning);
    layout->addWidget(ChkOUTLOG);
    auto* logButtons = new QHBoxLayout;
    logButtons->addWidget(cmdLog);
    logButtons->addWidget(cmdHistory);
    logButtons->addStretch(1);
    layout->addLayout(logButtons);
    layout->addStretch(1);
  }
}

void frmSettings::buildBookFrame() {
  bookFrame = frame(QStringLiteral("簡易メールアドレス帳"), this);
  // An empty label lying under bookNote in the frame's colour: created
  // first and lowered, so nothing of it shows.
  bookNoteUnderlay = label(QString(), bookFrame);
  bookNote = label(QStringLiteral("複数のアドレスから選択できるようになります。"), bookFrame);
  bookHint = label(QStringLiteral("（メイン画面のコンボボックスから選択できます。）"), bookFrame);
  bookCaption1 = label(QStringLiteral("登録メールアドレス１"), bookFrame);
  TxtTo[1] = textBox(bookFrame, kAddressBoxWidth);
  bookCaption2 = label(QStringLiteral("登録メールアドレス２"), bookFrame);
  TxtTo[2] = textBox(bookFrame, kAddressBoxWidth);
  bookCaption3 = label(QStringLiteral("登録メールアドレス３"), bookFrame);
  TxtTo[3] = textBox(bookFrame, kAddressBoxWidth);
  bookCaption4 = label(QStringLiteral("登録メールアドレス４"), bookFrame);
  TxtTo[4] = textBox(bookFrame, kAddressBoxWidth);
  {
    auto* layout = new QGridLayout(bookFrame);
    layout->addWidget(bookNoteUnderlay, 0, 0, 1, 2);
    layout->addWidget(bookNote, 0, 0, 1, 2);
    bookNoteUnderlay->lower();
    layout->addWidget(bookHint, 1, 0, 1, 2);
    const std::array<QLabel*, 4> bookLabels{bookCaption1, bookCaption2, bookCaption3, bookCaption4};
    for (int i = 0; i < 4; ++i) {
      layout->addWidget(bookLabels[i], i + 2, 0);
      layout->addWidget(TxtTo[i + 1], i + 2, 1);
    }
    layout->setRowStretch(6, 1);
  }
}

void frmSettings::buildPopFrame() {
  popFrame = frame(QStringLiteral("POP Before SMTP 設定"), this);
  popNote = label(QStringLiteral("よく分からない場合は、設定しなくてもよいでしょう。"), popFrame);
  ChkPBSMTP = checkBox(QStringLiteral("POP Before SMTPを使う"), popFrame);
  FraPBSMTP = new QFrame(popFrame);
  FraPBSMTP->setFrameShape(QFrame::NoFrame);
  paintBackground(FraPBSMTP, kFormColour);
  lblServerPOP = label(QStringLiteral("POPサーバ名"), FraPBSMTP);
  TxtServerPOP = textBox(FraPBSMTP, kPopBoxWidth);
  lblUSER = label(QStringLiteral("POPユーザ名"), FraPBSMTP);
  TxtUSER = textBox(FraPBSMTP, kPopBoxWidth);
  lblPASS = label(QStringLiteral("POPパスワード"), FraPBSMTP);
  TxtPASS = passwordBox(FraPBSMTP, kPopBoxWidth);
  lblPopSecurity = label(QStringLiteral("POP暗号化"), FraPBSMTP);
  cmbPopSecurity = new QComboBox(FraPBSMTP);
  cmbPopSecurity->addItems({QStringLiteral("なし"), QStringLiteral("STLS"), QStringLiteral("SSL/TLS")});
  lblPopPort = label(QStringLiteral("POPポート番号"), FraPBSMTP);
  TxtPopPort = textBox(FraPBSMTP, kPopBoxWidth);
  CmdTest = button(QStringLiteral("POPサーバーのテスト"), FraPBSMTP);
  keyringSilentNote = label(PasswordStore::kKeyringSilentNote, popFrame);
  keyringSilentNote->setWordWrap(true);
  keyringSilentNote->hide();
  {
    auto* layout = new QGridLayout(FraPBSMTP);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(lblServerPOP, 0, 0);
    layout->addWidget(TxtServerPOP, 0, 1);
    layout->addWidget(lblUSER, 1, 0);
    layout->addWidget(TxtUSER, 1, 1);
    layout->addWidget(lblPASS, 2, 0);
    layout->addWidget(TxtPASS, 2, 1);
    layout->addWidget(lblPopSecurity, 3, 0);
    layout->addWidget(cmbPopSecurity, 3, 1);
    layout->addWidget(lblPopPort, 4, 0);
    layout->addWidget(TxtPopPort, 4, 1);
    layout->addWidget(CmdTest, 5, 1, Qt::AlignRight);
  }
  {
    auto* layout = new QVBoxLayout(popFrame);
    layout->addWidget(popNote);
    layout->addWidget(ChkPBSMTP);
    layout->addWidget(FraPBSMTP);
    layout->addWidget(keyringSilentNote);
    layout->addStretch(1);
  }
}

// The four frames two by two under the heading; the version line and the
// closing buttons below them.
void frmSettings::layOutWindow() {
  CmdOK = button(QStringLiteral("保存して閉じる"), this);
  CmdCancel = button(QStringLiteral("保存せずに閉じる"), this);
  versionCaption = new QLabel(QStringLiteral("Talvenor Ver ") + QLatin1String(TalvenorVersion::kText), this);
  versionCaption->setFont(WindowLook::proportionalFont(versionCaption->font()));

  {
    auto* root = new QVBoxLayout(this);
    // The window keeps the size of its contents and cannot be resized.
    root->setSizeConstraint(QLayout::SetFixedSize);
    root->addWidget(heading);
    auto* frames = new QGridLayout;
    frames->addWidget(coreFrame, 0, 0);
    frames->addWidget(logFrame, 0, 1);
    frames->addWidget(bookFrame, 1, 0);
    frames->addWidget(popFrame, 1, 1);
    root->addLayout(frames);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(versionCaption);
    bottom->addStretch(1);
    bottom->addWidget(CmdOK);
    bottom->addWidget(CmdCancel);
    root->addLayout(bottom);
  }
}

void frmSettings::setKeyboardOrder() {
  // Each label names the box beside it.
  recipientCaption->setBuddy(TxtTo[0]);
  fromCaption->setBuddy(TxtFrom);
  serverCaption->setBuddy(TxtServer);
  bookCaption1->setBuddy(TxtTo[1]);
  bookCaption2->setBuddy(TxtTo[2]);
  bookCaption3->setBuddy(TxtTo[3]);
  bookCaption4->setBuddy(TxtTo[4]);
  lblServerPOP->setBuddy(TxtServerPOP);
  lblUSER->setBuddy(TxtUSER);
  lblPASS->setBuddy(TxtPASS);
  lblPopSecurity->setBuddy(cmbPopSecurity);
  lblPopPort->setBuddy(TxtPopPort);

  // Keyboard order; the window opens with the focus on CmdCancel.
  const std::initializer_list<QWidget*> tabOrder{
      CmdCancel, TxtTo[0], TxtFrom,   TxtServer,    cmdSmtpDetails, TxtTo[1],       TxtTo[2],   TxtTo[3], TxtTo[4],
      ChkOUTLOG, cmdLog,   cmdHistory, ChkPBSMTP, TxtServerPOP, TxtUSER,        TxtPASS,        cmbPopSecurity, TxtPopPort, CmdTest,
      CmdOK};
  QWidget* previous = nullptr;
  for (QWidget* widget : tabOrder) {
    if (previous) setTabOrder(previous, widget);
    previous = widget;
  }
}

void frmSettings::connectHandlers() {
  connect(CmdOK, &QPushButton::clicked, this, &frmSettings::CmdOK_Click);
  connect(CmdCancel, &QPushButton::clicked, this, &frmSettings::CmdCancel_Click);
  connect(cmdLog, &QPushButton::clicked, this, &frmSettings::cmdLog_Click);
  connect(cmdHistory, &QPushButton::clicked, this, &frmSettings::historyRequested);
  connect(CmdTest, &QPushButton::clicked, this, &frmSettings::CmdTest_Click);
  connect(cmdSmtpDetails, &QPushButton::clicked, this, &frmSettings::cmdSmtpDetails_Click);
  // toggled, not clicked: the handlers also run when loading sets a box.
  connect(ChkPBSMTP, &QCheckBox::toggled, this, &frmSettings::ChkPBSMTP_Click);
  connect(ChkOUTLOG, &QCheckBox::toggled, this, &frmSettings::ChkOUTLOG_Click);
}

void frmSettings::keyPressEvent(QKeyEvent* event) {
  if (!pressFocusedButton(this, event)) QDialog::keyPressEvent(event);
}

void frmSettings::Form_Load(const QString& shownRecipient) {
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
  TxtTo[0]->setText(shownRecipient);

  // 3. The address book.
  const ModINI::ReadBatch oneRead;
  const int count = DataIni::addrNum();
  for (int i = 1; i <= count; ++i)
    TxtTo[i]->setText(DataIni::readScrambled(DataIni::Section::AddrIndex, DataIni::indexKey(i)));

  // 4. Section MAIL.
  const MailSettings stored = DataIni::readMailSettings();
  TxtFrom->setText(stored.from);
  TxtServer->setText(stored.smtpServer);
  TxtServerPOP->setText(stored.popServer);
  TxtUSER->setText(stored.popUser);
  // The passwords, from Data.ini or the keyring. One the keyring does not
  // give shows empty and is kept as stored unless the user types another.
  QString why;
  const std::optional<QString> popPassword = PasswordStore::fetch(stored, PasswordStore::Which::Pop, why);
  const std::optional<QString> smtpPassword = PasswordStore::fetch(stored, PasswordStore::Which::Smtp, why);
  popPasswordUnread_ = !popPassword;
  smtpPasswordUnread_ = !smtpPassword;
  TxtPASS->setText(popPassword.value_or(QString()));
  smtpDetails_ = {stored.smtpSecurity, stored.smtpPort, stored.smtpAuth, stored.smtpUser,
                  smtpPassword.value_or(QString()), stored.charset, stored.passwordStore, smtpPasswordUnread_};
  keyringSilentNote->setVisible(popPasswordUnread_ || smtpPasswordUnread_);
  storedPasswordStore_ = stored.passwordStore;
  cmbPopSecurity->setCurrentIndex(static_cast<int>(stored.popSecurity));
  shownPopSecurity_ = stored.popSecurity;
  TxtPopPort->setText(QString::number(stored.popPort));
  connect(cmbPopSecurity, &QComboBox::currentIndexChanged, this, &frmSettings::cmbPopSecurity_Click);

  // 5. Opening the window puts the running POP-before-SMTP switch back to
  // the stored one (a POP test may have changed it).
  running_.popBeforeSmtp = stored.popBeforeSmtp;

  // 6. Checking the box turns the running log switch on through its
  // handler; a stored False leaves the running switch as it is.
  if (stored.keepLog) ChkOUTLOG->setChecked(true);

  // 7. The POP controls.
  if (running_.popBeforeSmtp) {
    ChkPBSMTP->setChecked(true);
    setPopControlsEnabled(true);
  } else {
    ChkPBSMTP->setChecked(false);
    setPopControlsEnabled(false);
  }
}

void frmSettings::setPopControlsEnabled(bool enabled) {
  for (QWidget* control : {static_cast<QWidget*>(TxtServerPOP), static_cast<QWidget*>(TxtUSER),
                           static_cast<QWidget*>(TxtPASS), static_cast<QWidget*>(cmbPopSecurity),
                           static_cast<QWidget*>(TxtPopPort), static_cast<QWidget*>(CmdTest)})
    control->setEnabled(enabled);
  // Enabled: the colour of button text. Disabled: the colour Windows gives
  // an inactive window border, a light grey close to the face colour; of
  // the palette's two shadow greys, Mid is the light one that matches it
  // (Dark would read as ordinary dark text on the blue background).
  const QPalette system = QApplication::palette();
  const QColor colour = system.color(enabled ? QPalette::ButtonText : QPalette::Mid);
  for (QWidget* control : {static_cast<QWidget*>(FraPBSMTP), static_cast<QWidget*>(lblServerPOP),
                           static_cast<QWidget*>(lblUSER), static_cast<QWidget*>(lblPASS),
                           static_cast<QWidget*>(lblPopSecurity), static_cast<QWidget*>(lblPopPort)})
    WindowLook::setTextColour(control, colour);
}

void frmSettings::CmdOK_Click() {
  using MessageBox::Answer;
  using MessageBox::Buttons;
  using MessageBox::Icon;

  MailSettings popConnection;
  if (!takePopConnection(popConnection)) return;
  if (!everyValueStorable()) return;
  if (!everyValueSendable()) return;

  bool ask = true;
  if (ChkPBSMTP->isChecked()) {
    if (isBlank(TxtServerPOP->text()) || isBlank(TxtUSER->text()) || isBlank(TxtPASS->text())) {
      const QString text = QStringLiteral("POP Before SMTP 設定に未入力の項目があります。") + kCrLf +
                           QStringLiteral("未入力のままにしますか？");
      if (MessageBox::MsgBox(text, Buttons::YesNo, Icon::None, QStringLiteral("POP Before SMTP 設定"),
                             Answer::Yes) != Answer::Yes)
        return;
      // The user has accepted missing entries once; save without asking again.
      ask = false;
    }
  }

  // Only really empty boxes count here: spaces pass.
  if (ask && (TxtTo[0]->text().isEmpty() || TxtFrom->text().isEmpty() || TxtServer->text().isEmpty())) {
    const QString text = QStringLiteral("基本設定に未入力の項目があります。") + kCrLf +
                         QStringLiteral("未入力のままにしますか？");
    if (MessageBox::MsgBox(text, Buttons::YesNo, Icon::None, QStringLiteral("Talvenor設定"), Answer::Yes) !=
        Answer::Yes)
      return;
  }

  if (!WriteConfig()) return;
  running_ = DataIni::readMailSettings();
  emit saved();
  accept();
}

void frmSettings::CmdCancel_Click() { reject(); }

// Data.ini holds the values in Shift-JIS: a character it cannot hold would
// come back as "?", so the window names it and stays open.
bool frmSettings::everyValueStorable() {
  const std::pair<QString, QString> values[] = {
      {recipientCaption->text(), TxtTo[0]->text()}, {fromCaption->text(), TxtFrom->text()},
      {serverCaption->text(), TxtServer->text()},   {bookCaption1->text(), TxtTo[1]->text()},
      {bookCaption2->text(), TxtTo[2]->text()},     {bookCaption3->text(), TxtTo[3]->text()},
      {bookCaption4->text(), TxtTo[4]->text()},     {lblServerPOP->text(), TxtServerPOP->text()},
      {lblUSER->text(), TxtUSER->text()},           {lblPASS->text(), TxtPASS->text()},
      {QStringLiteral("SMTP 認証のユーザ名"), smtpDetails_.user},
      {QStringLiteral("SMTP 認証のパスワード"), smtpDetails_.password}};
  for (const auto& [caption, value] : values) {
    const QString lost = AnsiCodePage::unmappable(value);
    if (lost.isEmpty()) continue;
    MessageBox::MsgBox(QStringLiteral("次の文字は保存できません：") + lost + kCrLf + QStringLiteral("（") + caption +
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
bool frmSettings::everyValueSendable() {
  const std::pair<QLabel*, QLineEdit*> addresses[] = {{recipientCaption, TxtTo[0]}, {fromCaption, TxtFrom},
                                                      {bookCaption1, TxtTo[1]},     {bookCaption2, TxtTo[2]},
                                                      {bookCaption3, TxtTo[3]},     {bookCaption4, TxtTo[4]}};
  for (const auto& [caption, box] : addresses) {
    if (!MailText::HoldsCharacterNotInAddress(trimBlanks(box->text()))) continue;
    MessageBox::MsgBox(QStringLiteral("メールアドレスに使えない文字（< > , 空白・改行など）が含まれています。") + kCrLf +
                           QStringLiteral("（") + caption->text() + QStringLiteral("）"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    box->setFocus();
    return false;
  }
  const std::pair<QString, QString> values[] = {{serverCaption->text(), TxtServer->text()},
                                                {lblServerPOP->text(), TxtServerPOP->text()},
                                                {lblUSER->text(), TxtUSER->text()},
                                                {lblPASS->text(), TxtPASS->text()},
                                                {QStringLiteral("SMTP 認証のユーザ名"), smtpDetails_.user},
                                                {QStringLiteral("SMTP 認証のパスワード"), smtpDetails_.password}};
  for (const auto& [caption, value] : values) {
    if (!MailText::HoldsControlCharacter(value)) continue;
    MessageBox::MsgBox(QStringLiteral("改行などの制御文字は保存できません。") + kCrLf + QStringLiteral("（") + caption +
                           QStringLiteral("）"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    return false;
  }
  return true;
}

bool frmSettings::WriteConfig() {
  using DataIni::indexKey;
  namespace Section = DataIni::Section;
  namespace Key = DataIni::Key;

  MailSettings toStore = settingsToStore();
  // The keyring first: when it refuses, nothing is saved.
  if (QString why; !PasswordStore::keepInKeyring(toStore, why)) {
    MessageBox::MsgBox(QStringLiteral("パスワードをキーリングに保存できませんでした。設定は保存されていません。") +
                           kCrLf + kCrLf + why,
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    return false;
  }

  // The numbered list is emptied first, so it never keeps a stale entry.
  // A file the store refuses (read-only, a link, another user's) refuses
  // the first write, before anything of the file has changed.
  if (ModINI::IniWrite(Section::AddrIndex, indexKey(0), QString()) == 0) {
    MessageBox::MsgBox(QStringLiteral("設定ファイル（Data.ini）に書き込めませんでした。設定は保存されていません。"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    return false;
  }
  for (int i = 1; i <= DataIni::kMaxAddrIndex; ++i) ModINI::IniWrite(Section::AddrIndex, indexKey(i), QString());
  DataIni::writeScrambled(Section::AddrIndex, indexKey(0), trimBlanks(TxtTo[0]->text()));

  // The non-blank book entries, renumbered from 1 without gaps, without
  // the blanks around them.
  int count = 0;
  for (int n = 1; n <= DataIni::kMaxAddrIndex; ++n) {
    const QString entry = trimBlanks(TxtTo[n]->text());
    if (entry.isEmpty()) continue;
    ++count;
    DataIni::writeScrambled(Section::AddrIndex, indexKey(count), entry);
  }
  ModINI::IniWrite(Section::AddrNum, Key::Num, QString::number(count));

  running_.popBeforeSmtp = toStore.popBeforeSmtp;
  DataIni::writeMailSettings(toStore);
  PasswordStore::leaveKeyring(toStore, storedPasswordStore_);
  return true;
}

MailSettings frmSettings::settingsToStore() {
  MailSettings toStore = running_;
  // Addresses and server names without the blanks around them.
  toStore.recipient = trimBlanks(TxtTo[0]->text());
  toStore.from = trimBlanks(TxtFrom->text());
  toStore.smtpServer = trimBlanks(TxtServer->text());
  toStore.popBeforeSmtp = ChkPBSMTP->isChecked();
  // The log switch as the program runs with it; the box is not read.
  toStore.keepLog = running_.keepLog;
  toStore.popServer = trimBlanks(TxtServerPOP->text());
  toStore.popUser = TxtUSER->text();
  // A password the keyring did not give stays as stored, unless retyped.
  if (popPasswordUnread_ && !TxtPASS->isModified())
    toStore.popPassword.reset();
  else
    toStore.popPassword = TxtPASS->text();
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

void frmSettings::cmdLog_Click() {
  const QString path = MailLog::LogFolderPath();
  if (QFileInfo::exists(path)) {
    if (FolderOpener::open(path)) return;
    // A desktop with nothing that shows folders: at least say where it is.
    MessageBox::MsgBox(QStringLiteral("ログフォルダを開くプログラムが見つかりません。") + kCrLf + kCrLf +
                           QStringLiteral("ログフォルダのパス：") + kCrLf + path,
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, MessageBox::kApplicationTitle);
    return;
  }
  const QString text = QStringLiteral("ログフォルダが見つかりません。") + kCrLf +
                       QStringLiteral("もしくはログフォルダが移動された可能性があります。") + kCrLf + kCrLf +
                       QStringLiteral("ログフォルダのパス：") + kCrLf + path;
  MessageBox::MsgBox(text, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation,
                     MessageBox::kApplicationTitle);
}

void frmSettings::CmdTest_Click() {
  // The test logs in with the boxes as typed (neither trimmed nor checked),
  // and it leaves them in the running settings: after a success POP before
  // SMTP is off and the POP login empty for the run, after a failure they
  // stay as typed, until the settings are saved or the program starts
  // again. Data.ini is not touched.
  if (!takePopConnection(running_)) return;
  running_.popBeforeSmtp = true;
  running_.popUser = TxtUSER->text();
  running_.popPassword = TxtPASS->text();
  running_.popServer = TxtServerPOP->text();
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

void frmSettings::forgetTestedPopLogin(MailSettings& running) {
  running.popUser.clear();
  running.popPassword = QString();
  if (running.passwordStore == MailSettings::PasswordStore::Keyring) PasswordStore::forgetKeyringPopPassword();
  running.popServer.clear();
  running.popBeforeSmtp = false;
}

void frmSettings::cmdSmtpDetails_Click() {
  SmtpDetailsDialog dialog(smtpDetails_, Keyring::serviceAnswers(), this);
  if (dialog.exec() == QDialog::Accepted) smtpDetails_ = dialog.details();
}

void frmSettings::cmbPopSecurity_Click() {
  const auto chosen = static_cast<MailSettings::PopSecurity>(cmbPopSecurity->currentIndex());
  followDefaultPort(TxtPopPort, MailSettings::defaultPort(shownPopSecurity_), MailSettings::defaultPort(chosen));
  shownPopSecurity_ = chosen;
}

bool frmSettings::takePopConnection(MailSettings& settings) {
  const std::optional<std::uint16_t> port = DataIni::parsePort(TxtPopPort->text());
  if (!port) {
    MessageBox::MsgBox(QStringLiteral("POPのポート番号は 1 から 65535 までの整数で入力してください。"),
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    TxtPopPort->setFocus();
    return false;
  }
  settings.popSecurity = static_cast<MailSettings::PopSecurity>(cmbPopSecurity->currentIndex());
  settings.popPort = *port;
  return true;
}

void frmSettings::ChkPBSMTP_Click() {
  // The running switch is left alone: saving takes it from the box.
  setPopControlsEnabled(ChkPBSMTP->isChecked());
}

void frmSettings::ChkOUTLOG_Click() {
  // Takes effect for the running program at once, saved or not.
  running_.keepLog = ChkOUTLOG->isChecked();
}
