#include "smtp_details_dialog.h"

#include "focused_button.h"
#include "message_box.h"
#include "send_texts.h"
#include "plain_text.h"
#include "settings_controls.h"
#include "window_look.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

using Security = MailSettings::SmtpSecurity;
using namespace SettingsControls;

namespace {

constexpr int kBoxWidth = 200;

const QString kBadPort = QStringLiteral("ポート番号は 1 から 65535 までの整数で入力してください。");
const QString kNoUser = QStringLiteral("SMTP 認証のユーザ名を入力してください。");
const QString kAuthInClear =
    QStringLiteral("暗号化なしの SMTP 認証は、サーバが CRAM-MD5 に対応している場合にだけ使えます。") + kCrLf +
    QStringLiteral("それ以外の方式ではパスワードが読める形でネットワークを流れるため、Talvenor は送信を中止します。") +
    kCrLf + QStringLiteral("できるだけ STARTTLS か SSL/TLS を選んでください。");

// Ports whose usual encryption is not the one chosen: 465 speaks TLS from
// the first byte, 587 starts it with STARTTLS. A question, since a server
// may well be set up otherwise.
QString portMismatch(Security security, std::uint16_t port) {
  if (port == 465 && security != Security::Ssl)
    return QStringLiteral("ポート 465 は通常、暗号化 SSL/TLS（最初から暗号化）で使います。");
  if (port == 587 && security == Security::Ssl)
    return QStringLiteral("ポート 587 は通常、暗号化 STARTTLS で使います。");
  return QString();
}
const QString kKeepAnyway = QStringLiteral("この設定のままでよろしいですか？");

// The encryption box lists the values in this order.
Security securityAt(int index) {
  switch (index) {
    case 1: return Security::StartTls;
    case 2: return Security::Ssl;
    default: return Security::None;
  }
}

int indexOf(Security security) {
  switch (security) {
    case Security::StartTls: return 1;
    case Security::Ssl: return 2;
    case Security::None: break;
  }
  return 0;
}

}  // namespace

SmtpDetailsDialog::SmtpDetailsDialog(const SmtpDetails& details, bool keyringOffered, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      storedPasswordStore_(details.passwordStore) {
  buildControls();
  nameControls();
  // The keyring is offered only where a Secret Service answers; passwords
  // already there can always be moved back to the file (the way out when
  // the keyring has stopped answering).
  keyringBox_->setVisible(keyringOffered || details.passwordStore == MailSettings::PasswordStore::Keyring);
  keyringBox_->setChecked(details.passwordStore == MailSettings::PasswordStore::Keyring);
  encryptionBox_->setCurrentIndex(indexOf(details.security));
  shownSecurity_ = details.security;
  portBox_->setText(QString::number(details.port));
  authBox_->setChecked(details.auth);
  userBox_->setText(details.user);
  passwordBox_->setText(details.password);
  passwordUnread_ = details.passwordUnread;
  keyringSilentNote_->setVisible(passwordUnread_);
  charsetBox_->setCurrentIndex(static_cast<int>(details.charset));
  onAuthToggled();
  // Only the user's own choices warn.
  connect(encryptionBox_, &QComboBox::currentIndexChanged, this, &SmtpDetailsDialog::onEncryptionChosen);
  connect(authBox_, &QCheckBox::toggled, this, [this] {
    onAuthToggled();
    warnIfAuthInClear();
  });
}

// Each control is named after its member, so that findChild reaches it.
void SmtpDetailsDialog::nameControls() {
  const std::pair<QWidget*, const char*> controls[] = {
      {encryptionBox_, "encryptionBox"},
      {portBox_, "portBox"},
      {authBox_, "authBox"},
      {userBox_, "userBox"},
      {passwordBox_, "passwordBox"},
      {charsetBox_, "charsetBox"},
      {keyringBox_, "keyringBox"},
      {keyringSilentNote_, "keyringSilentNote"},
      {okButton_, "okButton"},
      {cancelButton_, "cancelButton"}};
  for (auto [control, name] : controls) control->setObjectName(QLatin1String(name));
}

void SmtpDetailsDialog::buildControls() {
  setWindowTitle(QStringLiteral("SMTP 詳細設定"));
  WindowLook::paintBackground(this, WindowLook::kWindowColour);

  QLabel* encryptionCaption = label(QStringLiteral("暗号化"), this);
  encryptionBox_ = new QComboBox(this);
  encryptionBox_->addItems({QStringLiteral("なし"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")});
  QLabel* portCaption = label(QStringLiteral("ポート番号"), this);
  portBox_ = textBox(this, kBoxWidth);
  authBox_ = checkBox(QStringLiteral("SMTP 認証を使う"), this);
  QLabel* userCaption = label(QStringLiteral("ユーザ名"), this);
  userBox_ = textBox(this, kBoxWidth);
  QLabel* passwordCaption = label(QStringLiteral("パスワード"), this);
  passwordBox_ = SettingsControls::passwordBox(this, kBoxWidth);
  QLabel* charsetCaption = label(QStringLiteral("文字コード"), this);
  charsetBox_ = new QComboBox(this);
  // In the order of MailSettings::Charset.
  charsetBox_->addItems(
      {QStringLiteral("Shift_JIS（従来どおり）"), QStringLiteral("ISO-2022-JP（推奨）"), QStringLiteral("UTF-8")});
  keyringBox_ = checkBox(QStringLiteral("パスワードをキーリングに保存する"), this);
  keyringSilentNote_ = label(SendTexts::kKeyringSilentNote, this);
  keyringSilentNote_->setWordWrap(true);
  keyringSilentNote_->setMaximumWidth(kBoxWidth * 2);
  okButton_ = button(QStringLiteral("OK"), this);
  cancelButton_ = button(QStringLiteral("キャンセル"), this);

  const std::pair<QLabel*, QWidget*> captions[] = {{encryptionCaption, encryptionBox_},
                                                   {portCaption, portBox_},
                                                   {userCaption, userBox_},
                                                   {passwordCaption, passwordBox_},
                                                   {charsetCaption, charsetBox_}};
  for (const auto& [caption, box] : captions) caption->setBuddy(box);

  auto* grid = new QGridLayout;
  grid->addWidget(encryptionCaption, 0, 0);
  grid->addWidget(encryptionBox_, 0, 1);
  grid->addWidget(portCaption, 1, 0);
  grid->addWidget(portBox_, 1, 1);
  grid->addWidget(authBox_, 2, 0, 1, 2);
  grid->addWidget(userCaption, 3, 0);
  grid->addWidget(userBox_, 3, 1);
  grid->addWidget(passwordCaption, 4, 0);
  grid->addWidget(passwordBox_, 4, 1);
  grid->addWidget(charsetCaption, 5, 0);
  grid->addWidget(charsetBox_, 5, 1);
  grid->addWidget(keyringBox_, 6, 0, 1, 2);
  grid->addWidget(keyringSilentNote_, 7, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton_);
  auto* root = new QVBoxLayout(this);
  root->setSizeConstraint(QLayout::SetFixedSize);
  root->addLayout(grid);
  root->addLayout(buttons);

  connect(okButton_, &QPushButton::clicked, this, &SmtpDetailsDialog::onOk);
  connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void SmtpDetailsDialog::keyPressEvent(QKeyEvent* event) {
  if (!pressFocusedButton(this, event)) QDialog::keyPressEvent(event);
}

void SmtpDetailsDialog::onEncryptionChosen() {
  const Security chosen = securityAt(encryptionBox_->currentIndex());
  followDefaultPort(portBox_, MailSettings::defaultPort(shownSecurity_), MailSettings::defaultPort(chosen));
  shownSecurity_ = chosen;
  warnIfAuthInClear();
}

void SmtpDetailsDialog::onAuthToggled() {
  userBox_->setEnabled(authBox_->isChecked());
  passwordBox_->setEnabled(authBox_->isChecked());
}

void SmtpDetailsDialog::warnIfAuthInClear() {
  if (authBox_->isChecked() && securityAt(encryptionBox_->currentIndex()) == Security::None)
    MessageBox::show(kAuthInClear, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation,
                       windowTitle());
}

void SmtpDetailsDialog::onOk() {
  if (!DataIni::parsePort(portBox_->text())) {
    MessageBox::show(kBadPort, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    portBox_->setFocus();
    return;
  }
  if (authBox_->isChecked() && isBlank(userBox_->text())) {
    MessageBox::show(kNoUser, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    userBox_->setFocus();
    return;
  }
  const QString mismatch =
      portMismatch(securityAt(encryptionBox_->currentIndex()), *DataIni::parsePort(portBox_->text()));
  if (!mismatch.isEmpty() &&
      MessageBox::show(mismatch + kCrLf + kKeepAnyway, MessageBox::Buttons::YesNo, MessageBox::Icon::Question,
                         windowTitle(), MessageBox::Answer::No) != MessageBox::Answer::Yes) {
    encryptionBox_->setFocus();
    return;
  }
  accept();
}

SmtpDetails SmtpDetailsDialog::details() const {
  SmtpDetails details;
  details.security = securityAt(encryptionBox_->currentIndex());
  details.port = DataIni::parsePort(portBox_->text()).value_or(MailSettings::defaultPort(details.security));
  details.auth = authBox_->isChecked();
  details.user = userBox_->text();
  details.password = passwordBox_->text();
  details.charset = static_cast<MailSettings::Charset>(charsetBox_->currentIndex());
  details.passwordStore = !keyringBox_->isVisibleTo(this) ? storedPasswordStore_
                          : keyringBox_->isChecked()      ? MailSettings::PasswordStore::Keyring
                                                          : MailSettings::PasswordStore::File;
  // Still unread unless the user typed one.
  details.passwordUnread = passwordUnread_ && details.password.isEmpty();
  return details;
}
