#include "send_progress.h"

#include "composer_controls.h"

#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>

namespace {

constexpr int kStatusHeight = 17;
constexpr int kButtonHeight = 25;
constexpr int kGap = 4;
// The strip the window grows by during a send.
constexpr int kStripHeight = kStatusHeight + kGap + kButtonHeight + kGap;

}  // namespace

SendProgress::SendProgress(QWidget& window, MailTransmission& engine, int left, int width, int restingHeight)
    : QObject(&window), window_(window), engine_(engine), restingHeight_(restingHeight) {
  status_ = ComposerControls::makeLabel(&window, QString());
  status_->setObjectName(QStringLiteral("sendStatus"));
  status_->setGeometry(left, restingHeight, width, kStatusHeight);
  cancelButton_ = ComposerControls::makeButton(&window, QStringLiteral("中止"));
  cancelButton_->setObjectName(QStringLiteral("cancelButton"));
  cancelButton_->setGeometry(left, restingHeight + kStatusHeight + kGap, width, kButtonHeight);
  cancelButton_->setAutoDefault(false);
  // Escape presses 中止, and only while a send runs.
  escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), &window);
  escape_->setEnabled(false);
  connect(escape_, &QShortcut::activated, cancelButton_, &QPushButton::click);
  status_->hide();
  cancelButton_->hide();

  connect(cancelButton_, &QPushButton::clicked, &engine_, &MailTransmission::cancel);
  connect(&engine_, &MailTransmission::busyChanged, this, &SendProgress::onBusyChanged);
  connect(&engine_, &MailTransmission::stageChanged, this,
          [this](MailTransmission::Stage stage, const QString& host, quint16 port) {
            const QString text = stageText(stage, host, port);
            status_->setText(text);
            status_->setToolTip(text);  // a long host name is cut in the line
          });
}

QString SendProgress::stageText(MailTransmission::Stage stage, const QString& host, quint16 port) {
  using Stage = MailTransmission::Stage;
  switch (stage) {
    case Stage::Idle: return QString();
    case Stage::Connecting: return QStringLiteral("接続中…（%1:%2）").arg(host).arg(port);
    case Stage::PopLogin: return QStringLiteral("POP ログイン中…");
    case Stage::Encrypting: return QStringLiteral("暗号化中…");
    case Stage::Authenticating: return QStringLiteral("認証中…");
    case Stage::Sending: return QStringLiteral("送信中…");
  }
  return QString();
}

void SendProgress::onBusyChanged(bool busy) {
  if (!busy) status_->clear();
  window_.setFixedSize(window_.width(), restingHeight_ + (busy ? kStripHeight : 0));
  status_->setVisible(busy);
  cancelButton_->setVisible(busy);
  escape_->setEnabled(busy);
}
