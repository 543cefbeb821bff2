#include "main_window.h"

#include "body_counter.h"
#include "composer_controls.h"
#include "data_ini_layout.h"
#include "mail_text.h"
#include "plain_text.h"
#include "focused_button.h"
#include "message_box.h"
#include "ini_file.h"
#include "cp932.h"
#include "socket_control.h"
#include "window_look.h"
#include "tcp_socket_control.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFocusEvent>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <utility>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTextDocument>
#include <cmath>

namespace {

using namespace ComposerControls;
using WindowLook::kBoxColour;
using WindowLook::kWindowColour;

// Geometry of the one column of controls, in pixels.
constexpr int kClientWidth = 161;
constexpr int kClientHeight = 419;
constexpr int kLeft = 8;
constexpr int kColumnWidth = 145;
constexpr int kCaptionHeight = 17;
constexpr int kComboHeight = 22;
constexpr int kSubjectHeight = 22;
constexpr int kBodyHeight = 137;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 6;

}  // namespace

MainWindow::MainWindow(std::unique_ptr<SocketControl> socket, QWidget* parent)
    : QWidget(parent), socket_(socket ? std::move(socket) : std::make_unique<TcpSocketControl>()) {
  // The transmission connects itself to the socket's four events; the
  // boxes of a send to the transmission's reports.
  transmission_ = std::make_unique<MailTransmission>(*socket_);
  sendBoxes_ = std::make_unique<SendBoxes>(*transmission_, settings_);

  buildControls();

  connect(sendBoxes_.get(), &SendBoxes::clearSubjectAndBody, this, [this] {
    subjectEdit->clear();
    bodyEdit->clear();
  });
  // While a connection is open the window shows that something is under way.
  connect(transmission_.get(), &MailTransmission::busyChanged, this, [this](bool busy) {
    if (busy)
      setCursor(Qt::BusyCursor);
    else
      unsetCursor();
  });
}

MainWindow::~MainWindow() {
  // The controls go with the QWidget part of the window, and a box losing
  // the focus on its way out must not reach the handlers of a window that
  // is no longer whole.
  carrierBox->removeEventFilter(this);
  recipientBox->removeEventFilter(this);
  for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
  delete bodyBytes_;
  // The transmission refers to the socket: let it go first.
  sendBoxes_.reset();
  transmission_.reset();
}

void MainWindow::buildControls() {
  setWindowTitle(QStringLiteral("Talvenor"));
  setFixedSize(kClientWidth, kClientHeight);
  WindowLook::paint(this, {QPalette::Window}, kWindowColour);
  setAutoFillBackground(true);

  // One column, top to bottom.
  int y = 4;
  y = buildCarrierAndRecipient(y);
  y = buildSubjectAndBody(y);
  buildButtons(y);
  setKeyboardOrder();
  bodyBytes_ = new BodyByteTracker(bodyEdit->document(), this);
  connectHandlers();
}

int MainWindow::buildCarrierAndRecipient(int y) {
  carrierCaption = makeLabel(this, QStringLiteral("キャリア"));
  carrierCaption->setGeometry(kLeft, y, kColumnWidth, kCaptionHeight);
  y += kCaptionHeight;

  // The carrier box's edit field is made here, so that the window hears of
  // a finished edit before the box itself does (see keepCarrierSelection).
  auto* carrierEdit = new QLineEdit;
  connect(carrierEdit, &QLineEdit::editingFinished, this, [this] {
    carrierEditFinishing_ = true;
    typedCarrierIndex_ = carrierBox->currentIndex();
    typedCarrierText_ = carrierBox->currentText();
  });
  carrierBox = makeCombo(this, carrierEdit);
  connect(carrierEdit, &QLineEdit::editingFinished, this, &MainWindow::keepCarrierSelection);
  carrierBox->setEditText(QStringLiteral("キャリア選択"));
  carrierBox->setGeometry(kLeft, y, kColumnWidth, kComboHeight);
  y += kComboHeight + 4;

  recipientCaption = makeLabel(this, QStringLiteral("宛先"));
  recipientCaption->setGeometry(kLeft, y, kColumnWidth, kCaptionHeight);
  y += kCaptionHeight;
  recipientBox = makeCombo(this, new QLineEdit);
  recipientBox->setEditText(QStringLiteral("宛先メールアドレス"));
  recipientBox->setGeometry(kLeft, y, kColumnWidth, kComboHeight);
  return y + kComboHeight + 4;
}

int MainWindow::buildSubjectAndBody(int y) {
  const QFont fixedPitch = WindowLook::fixedPitchFont();

  subjectCaption = makeLabel(this, QStringLiteral("題名"));
  subjectCaption->setGeometry(kLeft, y, 60, kCaptionHeight);
  subjectCounter = makeLabel(this, QStringLiteral("0"));
  subjectCounter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  subjectCounter->setGeometry(kLeft + 60, y, kColumnWidth - 60, kCaptionHeight);
  y += kCaptionHeight;
  subjectEdit = new QLineEdit(this);
  subjectEdit->setFont(fixedPitch);
  WindowLook::paint(subjectEdit, {QPalette::Base}, kBoxColour);
  subjectEdit->setGeometry(kLeft, y, kColumnWidth, kSubjectHeight);
  y += kSubjectHeight + 4;

  bodyCaption = makeLabel(this, QStringLiteral("本文"));
  bodyCaption->setGeometry(kLeft, y, 60, kCaptionHeight);
  bodyCounter = makeLabel(this, QStringLiteral("0/???"));
  bodyCounter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  bodyCounter->setGeometry(kLeft + 60, y, kColumnWidth - 60, kCaptionHeight);
  y += kCaptionHeight;
  bodyEdit = new QPlainTextEdit(this);
  bodyEdit->setFont(fixedPitch);
  bodyEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  bodyEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  bodyEdit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // Tab moves on to the next control, as in every other box of the window.
  bodyEdit->setTabChangesFocus(true);
  WindowLook::paint(bodyEdit, {QPalette::Base}, kBoxColour);
  bodyEdit->setGeometry(kLeft, y, kColumnWidth, kBodyHeight);
  return y + kBodyHeight + 6;
}

void MainWindow::buildButtons(int y) {
  sendButton = makeButton(this, QStringLiteral("メール送信"));
  copyButton = makeButton(this, QStringLiteral("本文のコピー"));
  settingsButton = makeButton(this, QStringLiteral("メール設定"));
  closeButton = makeButton(this, QStringLiteral("閉じる"));
  for (QPushButton* button : {sendButton, copyButton, settingsButton, closeButton}) {
    button->setGeometry(kLeft, y, kColumnWidth, kButtonHeight);
    button->setAutoDefault(false);
    y += kButtonHeight + kButtonGap;
  }
}

void MainWindow::setKeyboardOrder() {
  // Each caption names its box for assistive technologies.
  const std::pair<QLabel*, QWidget*> captions[] = {
      {carrierCaption, carrierBox}, {recipientCaption, recipientBox}, {subjectCaption, subjectEdit}, {bodyCaption, bodyEdit}};
  for (const auto& [label, box] : captions) {
    label->setBuddy(box);
    box->setAccessibleName(label->text());
  }

  setTabOrder(carrierBox, recipientBox);
  setTabOrder(recipientBox, subjectEdit);
  setTabOrder(subjectEdit, bodyEdit);
  setTabOrder(bodyEdit, sendButton);
  setTabOrder(sendButton, copyButton);
  setTabOrder(copyButton, settingsButton);
  setTabOrder(settingsButton, closeButton);
  carrierBox->setFocus();
}

void MainWindow::connectHandlers() {
  connect(carrierBox, &QComboBox::activated, this, [this] {
    // A name typed in full is not a choice from the list.
    if (!carrierEditFinishing_) onCarrierChosen();
  });
  carrierBox->installEventFilter(this);
  recipientBox->installEventFilter(this);
  connect(subjectEdit, &QLineEdit::textChanged, this, &MainWindow::onSubjectChanged);
  connect(bodyEdit, &QPlainTextEdit::textChanged, this, [this] {
    // Composing with the input method re-lays the text out without
    // changing it; only a change of the text is a change of the body.
    if (bodyBytes_->takeChanged()) onBodyChanged();
  });
  connect(sendButton, &QPushButton::clicked, this, &MainWindow::onSendClicked);
  connect(copyButton, &QPushButton::clicked, this, &MainWindow::onCopyClicked);
  connect(settingsButton, &QPushButton::clicked, this, &MainWindow::onSettingsClicked);
  connect(closeButton, &QPushButton::clicked, this, &MainWindow::onCloseClicked);
  auto* historyKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
  connect(historyKey, &QShortcut::activated, this, [this] {
    emit historyRequested();
  });
}

void MainWindow::keepCarrierSelection() {
  // Editing the carrier box's text ended (Enter or leaving the box): the
  // combo box has just selected an item whose name equals the typed text.
  // Only a choice from the list selects a carrier, so put the former
  // selection and the typed text back.
  carrierEditFinishing_ = false;
  if (carrierBox->currentIndex() == typedCarrierIndex_) return;
  const QSignalBlocker blocker(carrierBox);
  carrierBox->setCurrentIndex(typedCarrierIndex_);
  carrierBox->setEditText(typedCarrierText_);
}

// Once the window is on the screen, and only then (the start is not to
// wait for it), a program whose settings encrypt loads the TLS backend, so
// that the first send does not pay for it at the click.
void MainWindow::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (std::exchange(painted_, true) || !MailTransmission::usesTls(settings_)) return;
  QTimer::singleShot(0, this, [] { MailTransmission::prepareTls(); });
}

void MainWindow::showAndLoad() {
  const IniFile::ReadBatch oneRead;
  show();
  loadSettings();
  const int index = DataIni::defaultCarrier();
  if (index >= 0) {
    carrierBox->setCurrentIndex(index);
    onCarrierChosen();
  }
}

void MainWindow::loadSettings() {
  // A combo box selects its first item as soon as it has one; the carrier
  // box shows its prompt and selects nothing until showAndLoad chooses.
  const bool noCarrier = carrierBox->currentIndex() < 0;
  const QString carrierPrompt = carrierBox->currentText();
  const int carriers = DataIni::carrierCount();
  for (int i = 0; i < carriers; ++i) carrierBox->addItem(DataIni::carrierName(i));
  if (noCarrier && carrierBox->currentIndex() >= 0) {
    const QSignalBlocker blocker(carrierBox);
    carrierBox->setCurrentIndex(-1);
    carrierBox->setEditText(carrierPrompt);
  }

  fillRecipientList();
  settings_ = DataIni::readMailSettings();
  recipientBox->setEditText(settings_.recipient);
}

// Adds the stored recipient and address book to the list.
void MainWindow::fillRecipientList() {
  const int lastAddress = DataIni::addrNum();
  for (int i = 0; i <= lastAddress; ++i)
    recipientBox->addItem(DataIni::readScrambled(DataIni::Section::AddrIndex, DataIni::indexKey(i)));
}

QString MainWindow::recipientText() const { return recipientBox->currentText(); }

void MainWindow::takeSavedSettings() {
  const IniFile::ReadBatch oneRead;
  recipientBox->clear();
  fillRecipientList();
  recipientBox->setEditText(settings_.recipient);
}

qsizetype MainWindow::bodyByteCount() { return bodyBytes_->count(); }

void MainWindow::onCarrierChosen() {
  bodyLimit = DataIni::carrierLimit(carrierBox->currentIndex());
  bodyCounter->setText(BodyCounter::limitCaption(bodyByteCount(), bodyLimit));
}

void MainWindow::onCarrierLeft() {
  // -1 when nothing of the list is selected.
  IniFile::write(DataIni::Section::CarrierNum, DataIni::Key::DefaultNum,
                   QString::number(carrierBox->currentIndex()));
}

void MainWindow::onRecipientLeft() {
  const QString recipient = trimBlanks(recipientBox->currentText());
  recipientWhenLeft = recipient;
  DataIni::writeScrambled(DataIni::Section::MAIL, DataIni::Key::To, recipient);
  DataIni::writeScrambled(DataIni::Section::AddrIndex, DataIni::indexKey(0), recipient);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // A box loses the focus when the keyboard focus moves on to another
  // control of this window. Its own drop-down list opening, or another
  // window (a message box, the settings window) taking over, is not that.
  if (event->type() == QEvent::FocusOut && (watched == carrierBox || watched == recipientBox)) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    QWidget* box = static_cast<QWidget*>(watched);
    QWidget* next = QApplication::focusWidget();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && next != nullptr &&
        next != box && !box->isAncestorOf(next) && next->window() == window()) {
      if (watched == carrierBox)
        onCarrierLeft();
      else
        onRecipientLeft();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (!pressFocusedButton(this, event)) QWidget::keyPressEvent(event);
}

void MainWindow::onSubjectChanged() {
  // The subject is one line: pasted line breaks become nothing, so the
  // counter counts what is sent.
  if (subjectEdit->text().contains(QLatin1Char('\n')) || subjectEdit->text().contains(QLatin1Char('\r'))) {
    const int cursor = subjectEdit->cursorPosition();
    const QString before = subjectEdit->text().left(cursor);
    const qsizetype removedBefore = before.count(QLatin1Char('\n')) + before.count(QLatin1Char('\r'));
    subjectEdit->setText(MailText::SubjectWithoutLineBreaks(subjectEdit->text()));  // runs this handler again
    subjectEdit->setCursorPosition(cursor - int(removedBefore));
    return;
  }
  subjectCounter->setText(QString::number(Cp932::byteCount(subjectEdit->text())));
}

void MainWindow::onBodyChanged() { countBody(); }

void MainWindow::countBody() {
  const BodyCounter::Verdict verdict = BodyCounter::afterChange(bodyByteCount(), bodyLimit);
  bodyCounter->setText(verdict.caption);
  // Advisory only: the body keeps every byte.
  if (verdict.overLimit) MessageBox::show(QStringLiteral("文字数が制限を越えています。"));
}

void MainWindow::onSendClicked() {
  // The mail text, and the log file made from it, breaks lines with CR LF
  // throughout, as the header lines do; the box itself holds LF.
  QString body = bodyEdit->toPlainText();
  body.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  sendBoxes_->send(recipientBox->currentText(), subjectEdit->text(), body);
}

void MainWindow::onCopyClicked() {
  // The platform's own line breaks (LF): the box's text as it stands.
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  clipboard->setText(bodyEdit->toPlainText());
}

void MainWindow::onSettingsClicked() {
  emit settingsRequested();
}

void MainWindow::onCloseClicked() {
  // Ends the program at once: nothing asked, nothing saved, the connection
  // dropped.
  if (socket_->isOpen()) socket_->close();
  close();
  QCoreApplication::quit();
}

// Dragging the window by its bare surface. Presses on the controls stay
// with them (the labels keep theirs), so only the surface starts a drag.
void MainWindow::startDrag(QPointF position) {
  dragging = true;
  dragStartX = static_cast<int>(std::nearbyint(position.x()));
  dragStartY = static_cast<int>(std::nearbyint(position.y()));
}

void MainWindow::dragTo(QPointF position) {
  if (!dragging) return;
  const QPoint topLeft = pos();
  move(topLeft.x() + static_cast<int>(std::nearbyint(position.x())) - dragStartX,
       topLeft.y() + static_cast<int>(std::nearbyint(position.y())) - dragStartY);
}

void MainWindow::endDrag(QPointF position) {
  if (!dragging) return;
  dragTo(position);
  dragging = false;
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  startDrag(event->position());
  event->accept();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
  dragTo(event->position());
  event->accept();
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
  endDrag(event->position());
  event->accept();
}
