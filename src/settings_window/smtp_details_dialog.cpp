#include "smtp_details_dialog.h"

#include "focused_button.h"
#include "message_box.h"
#include "password_store.h"
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
  // The keyring is offered only where a Secret Service answers; passwords
  // already there can always be moved back to the file (the way out when
  // the keyring has stopped answering).
  keyringBox->setVisible(keyringOffered || details.passwordStore == MailSettings::PasswordStore::Keyring);
  keyringBox->setChecked(details.passwordStore == MailSettings::PasswordStore::Keyring);
  encryptionBox->setCurrentIndex(indexOf(details.security));
  shownSecurity_ = details.security;
  portBox->setText(QString::number(details.port));
  authBox->setChecked(details.auth);
  userBox->setText(details.user);
  passwordBox->setText(details.password);
  passwordUnread_ = details.passwordUnread;
  keyringSilentNote->setVisible(passwordUnread_);
  charsetBox->setCurrentIndex(static_cast<int>(details.charset));
  onAuthToggled();
  // Only the user's own choices warn.
  connect(encryptionBox, &QComboBox::currentIndexChanged, this, &SmtpDetailsDialog::onEncryptionChosen);
  connect(authBox, &QCheckBox::toggled, this, [this] {
    onAuthToggled();
    warnIfAuthInClear();
  });
}

void SmtpDetailsDialog::buildControls() {
  setWindowTitle(QStringLiteral("SMTP 詳細設定"));
  WindowLook::paintBackground(this, WindowLook::kWindowColour);

  QLabel* encryptionCaption = label(QStringLiteral("暗号化"), this);
  encryptionBox = new QComboBox(this);
  encryptionBox->addItems({QStringLiteral("なし"), QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")});
  QLabel* portCaption = label(QStringLiteral("ポート番号"), this);
  portBox = textBox(this, kBoxWidth);
  authBox = checkBox(QStringLiteral("SMTP 認証を使う"), this);
  QLabel* userCaption = label(QStringLiteral("ユーザ名"), this);
  userBox = textBox(this, kBoxWidth);
  QLabel* passwordCaption = label(QStringLiteral("パスワード"), this);
  passwordBox = SettingsControls::passwordBox(this, kBoxWidth);
  QLabel* charsetCaption = label(QStringLiteral("文字コード"), this);
  charsetBox = new QComboBox(this);
  // In the order of MailSettings::Charset.
  charsetBox->addItems(
      {QStringLiteral("Shift_JIS（従来どおり）"), QStringLiteral("ISO-2022-JP（推奨）"), QStringLiteral("UTF-8")});
  keyringBox = checkBox(QStringLiteral("パスワードをキーリングに保存する"), this);
  keyringSilentNote = label(PasswordStore::kKeyringSilentNote, this);
  keyringSilentNote->setWordWrap(true);
  keyringSilentNote->setMaximumWidth(kBoxWidth * 2);
  okButton = button(QStringLiteral("OK"), this);
  cancelButton = button(QStringLiteral("キャンセル"), this);

  const std::pair<QLabel*, QWidget*> captions[] = {
      {encryptionCaption, encryptionBox}, {portCaption, portBox},         {userCaption, userBox},
      {passwordCaption, passwordBox},     {charsetCaption, charsetBox}};
  for (const auto& [caption, box] : captions) caption->setBuddy(box);

  auto* grid = new QGridLayout;
  grid->addWidget(encryptionCaption, 0, 0);
  grid->addWidget(encryptionBox, 0, 1);
  grid->addWidget(portCaption, 1, 0);
  grid->addWidget(portBox, 1, 1);
  grid->addWidget(authBox, 2, 0, 1, 2);
  grid->addWidget(userCaption, 3, 0);
  grid->addWidget(userBox, 3, 1);
  grid->addWidget(passwordCaption, 4, 0);
  grid->addWidget(passwordBox, 4, 1);
  grid->addWidget(charsetCaption, 5, 0);
  grid->addWidget(charsetBox, 5, 1);
  grid->addWidget(keyringBox, 6, 0, 1, 2);
  grid->addWidget(keyringSilentNote, 7, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton);
  buttons->addWidget(cancelButton);
  auto* root = new QVBoxLayout(this);
  root->setSizeConstraint(QLayout::SetFixedSize);
  root->addLayout(grid);
  root->addLayout(buttons);

  connect(okButton, &QPushButton::clicked, this, &SmtpDetailsDialog::onOk);
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void SmtpDetailsDialog::keyPressEvent(QKeyEvent* event) {
  if (!pressFocusedButton(this, event)) QDialog::keyPressEvent(event);
}

void SmtpDetailsDialog::onEncryptionChosen() {
  const Security chosen = securityAt(encryptionBox->currentIndex());
  followDefaultPort(portBox, MailSettings::defaultPort(shownSecurity_), MailSettings::defaultPort(chosen));
  shownSecurity_ = chosen;
  warnIfAuthInClear();
}

void SmtpDetailsDialog::onAuthToggled() {
  userBox->setEnabled(authBox->isChecked());
  passwordBox->setEnabled(authBox->isChecked());
}

void SmtpDetailsDialog::warnIfAuthInClear() {
  if (authBox->isChecked() && securityAt(encryptionBox->currentIndex()) == Security::None)
    MessageBox::show(kAuthInClear, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation,
                       windowTitle());
}

void SmtpDetailsDialog::onOk() {
  if (!DataIni::parsePort(portBox->text())) {
    MessageBox::show(kBadPort, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    portBox->setFocus();
    return;
  }
  if (authBox->isChecked() && isBlank(userBox->text())) {
    MessageBox::show(kNoUser, MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation, windowTitle());
    userBox->setFocus();
    return;
  }
  const QString mismatch =
      portMismatch(securityAt(encryptionBox->currentIndex()), *DataIni::parsePort(portBox->text()));
  if (!mismatch.isEmpty() &&
      MessageBox::show(mismatch + kCrLf + kKeepAnyway, MessageBox::Buttons::YesNo, MessageBox::Icon::Question,
                         windowTitle(), MessageBox::Answer::No) != MessageBox::Answer::Yes) {
    encryptionBox->setFocus();
    return;
  }
  accept();
}

SmtpDetails SmtpDetailsDialog::details() const {
  SmtpDetails details;
  details.security = securityAt(encryptionBox->currentIndex());
  details.port = DataIni::parsePort(portBox->text()).value_or(MailSettings::defaultPort(details.security));
  details.auth = authBox->isChecked();
  details.user = userBox->text();
  details.password = passwordBox->text();
  details.charset = static_cast<MailSettings::Charset>(charsetBox->currentIndex());
  details.passwordStore = !keyringBox->isVisibleTo(this) ? storedPasswordStore_
                          : keyringBox->isChecked()      ? MailSettings::PasswordStore::Keyring
                                                         : MailSettings::PasswordStore::File;
  // Still unread unless the user typed one.
  details.passwordUnread = passwordUnread_ && details.password.isEmpty();
  return details;
}
