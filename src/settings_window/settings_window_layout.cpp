#include "settings_window.h"

// The settings window's controls: made, named, laid out in the four frames,
// put in keyboard order and connected to their handlers.

#include "send_texts.h"
#include "send_report.h"
#include "settings_controls.h"
#include "talvenor_version.h"
#include "window_look.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <initializer_list>
#include <utility>

namespace {

using namespace SettingsControls;
using WindowLook::paintBackground;
const QColor& kFormColour = WindowLook::kWindowColour;

constexpr int kAddressBoxWidth = 230;
constexpr int kPopBoxWidth = 170;

}  // namespace

// Each control is named after its member, so that findChild reaches it.
void SettingsWindow::nameControls() {
  const std::pair<QWidget*, const char*> controls[] = {
      {heading_, "heading"},
      {basicsFrame_, "basicsFrame"},
      {basicsNote_, "basicsNote"},
      {recipientCaption_, "recipientCaption"},
      {fromCaption_, "fromCaption"},
      {senderEdit_, "senderEdit"},
      {serverCaption_, "serverCaption"},
      {smtpServerEdit_, "smtpServerEdit"},
      {smtpDetailsButton_, "smtpDetailsButton"},
      {logFrame_, "logFrame"},
      {logNote_, "logNote"},
      {logWarning_, "logWarning"},
      {keepLogCheck_, "keepLogCheck"},
      {openLogButton_, "openLogButton"},
      {historyButton_, "historyButton"},
      {bookFrame_, "bookFrame"},
      {bookNoteUnderlay_, "bookNoteUnderlay"},
      {bookNote_, "bookNote"},
      {bookHint_, "bookHint"},
      {bookCaption1_, "bookCaption1"},
      {bookCaption2_, "bookCaption2"},
      {bookCaption3_, "bookCaption3"},
      {bookCaption4_, "bookCaption4"},
      {popFrame_, "popFrame"},
      {popNote_, "popNote"},
      {popBeforeSmtpCheck_, "popBeforeSmtpCheck"},
      {popControls_, "popControls"},
      {popServerCaption_, "popServerCaption"},
      {popServerEdit_, "popServerEdit"},
      {popUserCaption_, "popUserCaption"},
      {popUserEdit_, "popUserEdit"},
      {popPasswordCaption_, "popPasswordCaption"},
      {popPasswordEdit_, "popPasswordEdit"},
      {popSecurityCaption_, "popSecurityCaption"},
      {popSecurityBox_, "popSecurityBox"},
      {popPortCaption_, "popPortCaption"},
      {popPortEdit_, "popPortEdit"},
      {popTestButton_, "popTestButton"},
      {keyringSilentNote_, "keyringSilentNote"},
      {saveButton_, "saveButton"},
      {cancelButton_, "cancelButton"},
      {versionCaption_, "versionCaption"}};
  for (auto [control, name] : controls) control->setObjectName(QLatin1String(name));
  for (int i = 0; i < int(addressEdits_.size()); ++i)
    addressEdits_[i]->setObjectName(QStringLiteral("addressEdit%1").arg(i));
}

void SettingsWindow::buildControls() {
  setWindowTitle(QStringLiteral("Talvenor設定"));
  paintBackground(this, kFormColour);
  heading_ = label(QStringLiteral("メールを送信するための設定を行います。"), this);
  buildBasicsFrame();
  buildLogFrame();
  buildBookFrame();
  buildPopFrame();
  layOutWindow();
  setKeyboardOrder();
  connectHandlers();
}

void SettingsWindow::buildBasicsFrame() {
  basicsFrame_ = frame(QStringLiteral("基本設定"), this);
  basicsNote_ = label(QStringLiteral("Talvenorが機能する、必要最低限の項目です。"), basicsFrame_);
  recipientCaption_ = label(QStringLiteral("宛先メールアドレス"), basicsFrame_);
  addressEdits_[0] = textBox(basicsFrame_, kAddressBoxWidth);
  fromCaption_ = label(QStringLiteral("差出人メールアドレス"), basicsFrame_);
  senderEdit_ = textBox(basicsFrame_, kAddressBoxWidth);
  serverCaption_ = label(SendReport::caption(SendFailure::Setting::SmtpServer), basicsFrame_);
  smtpServerEdit_ = textBox(basicsFrame_, kAddressBoxWidth);
  smtpDetailsButton_ = button(QStringLiteral("詳細設定..."), basicsFrame_);
  {
    auto* layout = new QGridLayout(basicsFrame_);
    layout->addWidget(basicsNote_, 0, 0, 1, 2);
    layout->addWidget(recipientCaption_, 1, 0);
    layout->addWidget(addressEdits_[0], 1, 1);
    layout->addWidget(fromCaption_, 2, 0);
    layout->addWidget(senderEdit_, 2, 1);
    layout->addWidget(serverCaption_, 3, 0);
    layout->addWidget(smtpServerEdit_, 3, 1);
    layout->addWidget(smtpDetailsButton_, 4, 1, Qt::AlignRight);
    layout->setRowStretch(5, 1);
  }
}

void SettingsWindow::buildLogFrame() {
  logFrame_ = frame(QStringLiteral("メール送信ログ"), this);
  logNote_ = label(QStringLiteral("以前に送信したメールが閲覧できます。"), logFrame_);
  logWarning_ = label(QStringLiteral("（ログはこのユーザーだけが開けます。）"), logFrame_);
  keepLogCheck_ = checkBox(QStringLiteral("メール送信ログを残す"), logFrame_);
  openLogButton_ = button(QStringLiteral("ログを開く"), logFrame_);
  historyButton_ = button(QStringLiteral("送信履歴..."), logFrame_);
  {
    auto* layout = new QVBoxLayout(logFrame_);
    layout->addWidget(logNote_);
    layout->addWidget(logWarning_);
    layout->addWidget(keepLogCheck_);
    auto* logButtons = new QHBoxLayout;
    logButtons->addWidget(openLogButton_);
    logButtons->addWidget(historyButton_);
    logButtons->addStretch(1);
    layout->addLayout(logButtons);
    layout->addStretch(1);
  }
}

void SettingsWindow::buildBookFrame() {
  bookFrame_ = frame(QStringLiteral("簡易メールアドレス帳"), this);
  // An empty label lying under bookNote_ in the frame's colour: created
  // first and lowered, so nothing of it shows.
  bookNoteUnderlay_ = label(QString(), bookFrame_);
  bookNote_ = label(QStringLiteral("複数のアドレスから選択できるようになります。"), bookFrame_);
  bookHint_ = label(QStringLiteral("（メイン画面のコンボボックスから選択できます。）"), bookFrame_);
  bookCaption1_ = label(QStringLiteral("登録メールアドレス１"), bookFrame_);
  addressEdits_[1] = textBox(bookFrame_, kAddressBoxWidth);
  bookCaption2_ = label(QStringLiteral("登録メールアドレス２"), bookFrame_);
  addressEdits_[2] = textBox(bookFrame_, kAddressBoxWidth);
  bookCaption3_ = label(QStringLiteral("登録メールアドレス３"), bookFrame_);
  addressEdits_[3] = textBox(bookFrame_, kAddressBoxWidth);
  bookCaption4_ = label(QStringLiteral("登録メールアドレス４"), bookFrame_);
  addressEdits_[4] = textBox(bookFrame_, kAddressBoxWidth);
  {
    auto* layout = new QGridLayout(bookFrame_);
    layout->addWidget(bookNoteUnderlay_, 0, 0, 1, 2);
    layout->addWidget(bookNote_, 0, 0, 1, 2);
    bookNoteUnderlay_->lower();
    layout->addWidget(bookHint_, 1, 0, 1, 2);
    const std::array<QLabel*, 4> bookLabels{bookCaption1_, bookCaption2_, bookCaption3_, bookCaption4_};
    for (int i = 0; i < 4; ++i) {
      layout->addWidget(bookLabels[i], i + 2, 0);
      layout->addWidget(addressEdits_[i + 1], i + 2, 1);
    }
    layout->setRowStretch(6, 1);
  }
}

void SettingsWindow::buildPopFrame() {
  popFrame_ = frame(QStringLiteral("POP Before SMTP 設定"), this);
  popNote_ = label(QStringLiteral("よく分からない場合は、設定しなくてもよいでしょう。"), popFrame_);
  popBeforeSmtpCheck_ = checkBox(QStringLiteral("POP Before SMTPを使う"), popFrame_);
  popControls_ = new QFrame(popFrame_);
  popControls_->setFrameShape(QFrame::NoFrame);
  paintBackground(popControls_, kFormColour);
  popServerCaption_ = label(SendReport::caption(SendFailure::Setting::PopServer), popControls_);
  popServerEdit_ = textBox(popControls_, kPopBoxWidth);
  popUserCaption_ = label(SendReport::caption(SendFailure::Setting::PopUser), popControls_);
  popUserEdit_ = textBox(popControls_, kPopBoxWidth);
  popPasswordCaption_ = label(SendReport::caption(SendFailure::Setting::PopPassword), popControls_);
  popPasswordEdit_ = passwordBox(popControls_, kPopBoxWidth);
  popSecurityCaption_ = label(QStringLiteral("POP暗号化"), popControls_);
  popSecurityBox_ = new QComboBox(popControls_);
  popSecurityBox_->addItems({QStringLiteral("なし"), QStringLiteral("STLS"), QStringLiteral("SSL/TLS")});
  popPortCaption_ = label(QStringLiteral("POPポート番号"), popControls_);
  popPortEdit_ = textBox(popControls_, kPopBoxWidth);
  popTestButton_ = button(QStringLiteral("POPサーバーのテスト"), popControls_);
  keyringSilentNote_ = label(SendTexts::kKeyringSilentNote, popFrame_);
  keyringSilentNote_->setWordWrap(true);
  keyringSilentNote_->hide();
  {
    auto* layout = new QGridLayout(popControls_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(popServerCaption_, 0, 0);
    layout->addWidget(popServerEdit_, 0, 1);
    layout->addWidget(popUserCaption_, 1, 0);
    layout->addWidget(popUserEdit_, 1, 1);
    layout->addWidget(popPasswordCaption_, 2, 0);
    layout->addWidget(popPasswordEdit_, 2, 1);
    layout->addWidget(popSecurityCaption_, 3, 0);
    layout->addWidget(popSecurityBox_, 3, 1);
    layout->addWidget(popPortCaption_, 4, 0);
    layout->addWidget(popPortEdit_, 4, 1);
    layout->addWidget(popTestButton_, 5, 1, Qt::AlignRight);
  }
  {
    auto* layout = new QVBoxLayout(popFrame_);
    layout->addWidget(popNote_);
    layout->addWidget(popBeforeSmtpCheck_);
    layout->addWidget(popControls_);
    layout->addWidget(keyringSilentNote_);
    layout->addStretch(1);
  }
}

// The four frames two by two under the heading_; the version line and the
// closing buttons below them.
void SettingsWindow::layOutWindow() {
  saveButton_ = button(QStringLiteral("保存して閉じる"), this);
  cancelButton_ = button(QStringLiteral("保存せずに閉じる"), this);
  versionCaption_ = new QLabel(QStringLiteral("Talvenor Ver ") + QLatin1String(TalvenorVersion::kText), this);
  versionCaption_->setFont(WindowLook::proportionalFont(versionCaption_->font()));

  {
    auto* root = new QVBoxLayout(this);
    // The window keeps the size of its contents and cannot be resized.
    root->setSizeConstraint(QLayout::SetFixedSize);
    root->addWidget(heading_);
    auto* frames = new QGridLayout;
    frames->addWidget(basicsFrame_, 0, 0);
    frames->addWidget(logFrame_, 0, 1);
    frames->addWidget(bookFrame_, 1, 0);
    frames->addWidget(popFrame_, 1, 1);
    root->addLayout(frames);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(versionCaption_);
    bottom->addStretch(1);
    bottom->addWidget(saveButton_);
    bottom->addWidget(cancelButton_);
    root->addLayout(bottom);
  }
}

void SettingsWindow::setKeyboardOrder() {
  // Each label names the box beside it.
  recipientCaption_->setBuddy(addressEdits_[0]);
  fromCaption_->setBuddy(senderEdit_);
  serverCaption_->setBuddy(smtpServerEdit_);
  bookCaption1_->setBuddy(addressEdits_[1]);
  bookCaption2_->setBuddy(addressEdits_[2]);
  bookCaption3_->setBuddy(addressEdits_[3]);
  bookCaption4_->setBuddy(addressEdits_[4]);
  popServerCaption_->setBuddy(popServerEdit_);
  popUserCaption_->setBuddy(popUserEdit_);
  popPasswordCaption_->setBuddy(popPasswordEdit_);
  popSecurityCaption_->setBuddy(popSecurityBox_);
  popPortCaption_->setBuddy(popPortEdit_);

  // Keyboard order; the window opens with the focus on キャンセル.
  const std::initializer_list<QWidget*> tabOrder{
      cancelButton_,    addressEdits_[0], senderEdit_,         smtpServerEdit_,  smtpDetailsButton_,
      addressEdits_[1], addressEdits_[2], addressEdits_[3],    addressEdits_[4], keepLogCheck_,
      openLogButton_,   historyButton_,   popBeforeSmtpCheck_, popServerEdit_,   popUserEdit_,
      popPasswordEdit_, popSecurityBox_,  popPortEdit_,        popTestButton_,   saveButton_};
  QWidget* previous = nullptr;
  for (QWidget* widget : tabOrder) {
    if (previous) setTabOrder(previous, widget);
    previous = widget;
  }
}

void SettingsWindow::connectHandlers() {
  connect(saveButton_, &QPushButton::clicked, this, &SettingsWindow::onSaveClicked);
  connect(cancelButton_, &QPushButton::clicked, this, &SettingsWindow::onCancelClicked);
  connect(openLogButton_, &QPushButton::clicked, this, &SettingsWindow::onOpenLogClicked);
  connect(historyButton_, &QPushButton::clicked, this, &SettingsWindow::historyRequested);
  connect(popTestButton_, &QPushButton::clicked, this, &SettingsWindow::onPopTestClicked);
  connect(smtpDetailsButton_, &QPushButton::clicked, this, &SettingsWindow::onSmtpDetailsClicked);
  // toggled, not clicked: the handlers also run when loading sets a box.
  connect(popBeforeSmtpCheck_, &QCheckBox::toggled, this, &SettingsWindow::onPopBeforeSmtpToggled);
  connect(keepLogCheck_, &QCheckBox::toggled, this, &SettingsWindow::onKeepLogToggled);
}
