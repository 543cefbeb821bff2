#include "main_window.h"

#include "body_counter.h"
#include "composer_controls.h"
#include "send_progress.h"
#include "data_ini_layout.h"
#include "mail_text.h"
#include "plain_text.h"
#include "focused_button.h"
#include "message_box.h"
#include "settings_file.h"
#include "cp932.h"
#include "socket_control.h"
#include "window_look.h"
#include "tcp_socket_control.h"
#include "tls_stream.h"

#include <QApplication>
#include <QCloseEvent>
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

MainWindow::MainWindow(const SettingsFile& settingsFile, std::unique_ptr<SocketControl> socket, Keyring keyring,
                       QWidget* parent)
    : QWidget(parent),
      settingsFile_(settingsFile),
      passwords_(settingsFile, std::move(keyring)),
      socket_(socket ? std::move(socket) : std::make_unique<TcpSocketControl>()) {
  // The transmission connects itself to the socket's four events; the
  // boxes of a send to the transmission's reports.
  transmission_ = std::make_unique<MailTransmission>(*socket_);
  sendBoxes_ = std::make_unique<SendBoxes>(*transmission_, settings_, passwords_);

  buildControls();
  nameControls();
  progress_ = new SendProgress(*this, *transmission_, kLeft, kColumnWidth, kClientHeight);

  connect(sendBoxes_.get(), &SendBoxes::clearSubjectAndBody, this, [this] {
    subjectEdit_->clear();
    bodyEdit_->clear();
  });
  // While a connection is open the window shows that something is under way.
  // No second send while one runs.
  connect(transmission_.get(), &MailTransmission::busyChanged, this, [this](bool busy) {
    if (busy)
      setCursor(Qt::BusyCursor);
    else
      unsetCursor();
    sendButton_->setEnabled(!busy);
  });
  // After the boxes of a completed send (connected after them): what the
  // boxes hold now has gone.
  connect(transmission_.get(), &MailTransmission::sent, this, [this] { draftSent_ = true; });
}

MainWindow::~MainWindow() {
  // The controls go with the QWidget part of the window, and a box losing
  // the focus on its way out must not reach the handlers of a window that
  // is no longer whole.
  carrierBox_->removeEventFilter(this);
  recipientBox_->removeEventFilter(this);
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
  bodyBytes_ = new BodyByteTracker(bodyEdit_->document(), this);
  connectHandlers();
}

// Each control is named after its member, so that findChild reaches it.
void MainWindow::nameControls() {
  const std::pair<QWidget*, const char*> controls[] = {
      {carrierCaption_, "carrierCaption"},
      {carrierBox_, "carrierBox"},
      {recipientCaption_, "recipientCaption"},
      {recipientBox_, "recipientBox"},
      {subjectCaption_, "subjectCaption"},
      {subjectCounter_, "subjectCounter"},
      {subjectEdit_, "subjectEdit"},
      {bodyCaption_, "bodyCaption"},
      {bodyCounter_, "bodyCounter"},
      {bodyEdit_, "bodyEdit"},
      {sendButton_, "sendButton"},
      {copyButton_, "copyButton"},
      {settingsButton_, "settingsButton"},
      {closeButton_, "closeButton"}};
  for (auto [control, name] : controls) control->setObjectName(QLatin1String(name));
}

int MainWindow::buildCarrierAndRecipient(int y) {
  carrierCaption_ = makeLabel(this, QStringLiteral("キャリア"));
  carrierCaption_->setGeometry(kLeft, y, kColumnWidth, kCaptionHeight);
  y += kCaptionHeight;

  // The carrier box's edit field is made here, so that the window hears of
  // a finished edit before the box itself does (see keepCarrierSelection).
  auto* carrierEdit = new QLineEdit;
  connect(carrierEdit, &QLineEdit::editingFinished, this, [this] {
    carrierEditFinishing_ = true;
    typedCarrierIndex_ = carrierBox_->currentIndex();
    typedCarrierText_ = carrierBox_->currentText();
  });
  carrierBox_ = makeCombo(this, carrierEdit);
  connect(carrierEdit, &QLineEdit::editingFinished, this, &MainWindow::keepCarrierSelection);
  carrierBox_->setEditText(QStringLiteral("キャリア選択"));
  carrierBox_->setGeometry(kLeft, y, kColumnWidth, kComboHeight);
  y += kComboHeight + 4;

  recipientCaption_ = makeLabel(this, QStringLiteral("宛先"));
  recipientCaption_->setGeometry(kLeft, y, kColumnWidth, kCaptionHeight);
  y += kCaptionHeight;
  recipientBox_ = makeCombo(this, new QLineEdit);
  recipientBox_->setEditText(QStringLiteral("宛先メールアドレス"));
  recipientBox_->setGeometry(kLeft, y, kColumnWidth, kComboHeight);
  return y + kComboHeight + 4;
}

int MainWindow::buildSubjectAndBody(int y) {
  const QFont fixedPitch = WindowLook::fixedPitchFont();

  subjectCaption_ = makeLabel(this, QStringLiteral("題名"));
  subjectCaption_->setGeometry(kLeft, y, 60, kCaptionHeight);
  subjectCounter_ = makeLabel(this, QStringLiteral("0"));
  subjectCounter_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  subjectCounter_->setGeometry(kLeft + 60, y, kColumnWidth - 60, kCaptionHeight);
  y += kCaptionHeight;
  subjectEdit_ = new QLineEdit(this);
  subjectEdit_->setFont(fixedPitch);
  WindowLook::paint(subjectEdit_, {QPalette::Base}, kBoxColour);
  subjectEdit_->setGeometry(kLeft, y, kColumnWidth, kSubjectHeight);
  y += kSubjectHeight + 4;

  bodyCaption_ = makeLabel(this, QStringLiteral("本文"));
  bodyCaption_->setGeometry(kLeft, y, 60, kCaptionHeight);
  bodyCounter_ = makeLabel(this, QStringLiteral("0/???"));
  bodyCounter_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  bodyCounter_->setGeometry(kLeft + 60, y, kColumnWidth - 60, kCaptionHeight);
  y += kCaptionHeight;
  bodyEdit_ = new QPlainTextEdit(this);
  bodyEdit_->setFont(fixedPitch);
  bodyEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  bodyEdit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  bodyEdit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // Tab moves on to the next control, as in every other box of the window.
  bodyEdit_->setTabChangesFocus(true);
  WindowLook::paint(bodyEdit_, {QPalette::Base}, kBoxColour);
  bodyEdit_->setGeometry(kLeft, y, kColumnWidth, kBodyHeight);
  return y + kBodyHeight + 6;
}

void MainWindow::buildButtons(int y) {
  sendButton_ = makeButton(this, QStringLiteral("メール送信"));
  copyButton_ = makeButton(this, QStringLiteral("本文のコピー"));
  settingsButton_ = makeButton(this, QStringLiteral("メール設定"));
  closeButton_ = makeButton(this, QStringLiteral("閉じる"));
  for (QPushButton* button : {sendButton_, copyButton_, settingsButton_, closeButton_}) {
    button->setGeometry(kLeft, y, kColumnWidth, kButtonHeight);
    button->setAutoDefault(false);
    y += kButtonHeight + kButtonGap;
  }
}

void MainWindow::setKeyboardOrder() {
  // Each caption names its box for assistive technologies.
  const std::pair<QLabel*, QWidget*> captions[] = {{carrierCaption_, carrierBox_},
                                                   {recipientCaption_, recipientBox_},
                                                   {subjectCaption_, subjectEdit_},
                                                   {bodyCaption_, bodyEdit_}};
  for (const auto& [label, box] : captions) {
    label->setBuddy(box);
    box->setAccessibleName(label->text());
  }

  setTabOrder(carrierBox_, recipientBox_);
  setTabOrder(recipientBox_, subjectEdit_);
  setTabOrder(subjectEdit_, bodyEdit_);
  setTabOrder(bodyEdit_, sendButton_);
  setTabOrder(sendButton_, copyButton_);
  setTabOrder(copyButton_, settingsButton_);
  setTabOrder(settingsButton_, closeButton_);
  carrierBox_->setFocus();
}

void MainWindow::connectHandlers() {
  connect(carrierBox_, &QComboBox::activated, this, [this] {
    // A name typed in full is not a choice from the list.
    if (!carrierEditFinishing_) onCarrierChosen();
  });
  carrierBox_->installEventFilter(this);
  recipientBox_->installEventFilter(this);
  connect(subjectEdit_, &QLineEdit::textChanged, this, &MainWindow::onSubjectChanged);
  connect(bodyEdit_, &QPlainTextEdit::textChanged, this, [this] {
    // Composing with the input method re-lays the text out without
    // changing it; only a change of the text is a change of the body.
    if (bodyBytes_->takeChanged()) onBodyChanged();
  });
  connect(sendButton_, &QPushButton::clicked, this, &MainWindow::onSendClicked);
  connect(copyButton_, &QPushButton::clicked, this, &MainWindow::onCopyClicked);
  connect(settingsButton_, &QPushButton::clicked, this, &MainWindow::onSettingsClicked);
  connect(closeButton_, &QPushButton::clicked, this, &MainWindow::onCloseClicked);
  // Ctrl+Return sends from any box, as メール送信 does (with its confirmation).
  for (const QKeyCombination key : {QKeyCombination(Qt::ControlModifier, Qt::Key_Return),
                                    QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Enter)})
    connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, &MainWindow::onSendClicked);
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
  if (carrierBox_->currentIndex() == typedCarrierIndex_) return;
  const QSignalBlocker blocker(carrierBox_);
  carrierBox_->setCurrentIndex(typedCarrierIndex_);
  carrierBox_->setEditText(typedCarrierText_);
}

// Once the window is on the screen, and only then (the start is not to
// wait for it), a program whose settings encrypt loads the TLS backend, so
// that the first send does not pay for it at the click.
void MainWindow::paintEvent(QPaintEvent* event) {
  QWidget::paintEvent(event);
  if (std::exchange(painted_, true) || !MailTransmission::usesTls(settings_)) return;
  QTimer::singleShot(0, this, &TlsStream::prepare);
}

void MainWindow::showAndLoad() {
  show();
  const IniDocument ini = settingsFile_.read();
  loadSettings(ini);
  const int index = DataIni::defaultCarrier(ini);
  if (index >= 0) {
    carrierBox_->setCurrentIndex(index);
    showCarrierLimit(ini);
  }
}

void MainWindow::loadSettings(const IniDocument& ini) {
  // A combo box selects its first item as soon as it has one; the carrier
  // box shows its prompt and selects nothing until showAndLoad chooses.
  const bool noCarrier = carrierBox_->currentIndex() < 0;
  const QString carrierPrompt = carrierBox_->currentText();
  const int carriers = DataIni::carrierCount(ini);
  for (int i = 0; i < carriers; ++i) carrierBox_->addItem(DataIni::carrierName(ini, i));
  if (noCarrier && carrierBox_->currentIndex() >= 0) {
    const QSignalBlocker blocker(carrierBox_);
    carrierBox_->setCurrentIndex(-1);
    carrierBox_->setEditText(carrierPrompt);
  }

  recipientBox_->addItems(DataIni::readAddressBook(ini));
  settings_ = DataIni::readMailSettings(ini);
  recipientBox_->setEditText(settings_.recipient);
}

QString MainWindow::recipientText() const { return recipientBox_->currentText(); }

void MainWindow::takeSavedSettings() {
  recipientBox_->clear();
  recipientBox_->addItems(DataIni::readAddressBook(settingsFile_.read()));
  recipientBox_->setEditText(settings_.recipient);
}

qsizetype MainWindow::bodyByteCount() { return bodyBytes_->count(); }

void MainWindow::onCarrierChosen() { showCarrierLimit(settingsFile_.read()); }

void MainWindow::showCarrierLimit(const IniDocument& ini) {
  bodyLimit_ = DataIni::carrierLimit(ini, carrierBox_->currentIndex());
  bodyCounter_->setText(BodyCounter::limitCaption(bodyByteCount(), bodyLimit_));
}

void MainWindow::onCarrierLeft() {
  // -1 when nothing of the list is selected.
  settingsFile_.write(DataIni::Section::CarrierNum, DataIni::Key::DefaultNum,
                     QString::number(carrierBox_->currentIndex()));
}

void MainWindow::onRecipientLeft() {
  const QString recipient = trimBlanks(recipientBox_->currentText());
  settingsFile_.update([&recipient](IniDocument& ini) {
    DataIni::writeScrambled(ini, DataIni::Section::MAIL, DataIni::Key::To, recipient);
    DataIni::writeScrambled(ini, DataIni::Section::AddrIndex, DataIni::indexKey(0), recipient);
    return true;
  });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // A box loses the focus when the keyboard focus moves on to another
  // control of this window. Its own drop-down list opening, or another
  // window (a message box, the settings window) taking over, is not that.
  if (event->type() == QEvent::FocusOut && (watched == carrierBox_ || watched == recipientBox_)) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    QWidget* box = static_cast<QWidget*>(watched);
    QWidget* next = QApplication::focusWidget();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && next != nullptr &&
        next != box && !box->isAncestorOf(next) && next->window() == window()) {
      if (watched == carrierBox_)
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
  draftSent_ = false;
  // The subject is one line: pasted line breaks become nothing, so the
  // counter counts what is sent.
  if (subjectEdit_->text().contains(QLatin1Char('\n')) || subjectEdit_->text().contains(QLatin1Char('\r'))) {
    const int cursor = subjectEdit_->cursorPosition();
    const QString before = subjectEdit_->text().left(cursor);
    const qsizetype removedBefore = before.count(QLatin1Char('\n')) + before.count(QLatin1Char('\r'));
    subjectEdit_->setText(MailText::subjectWithoutLineBreaks(subjectEdit_->text()));  // runs this handler again
    subjectEdit_->setCursorPosition(cursor - int(removedBefore));
    return;
  }
  subjectCounter_->setText(QString::number(Cp932::byteCount(subjectEdit_->text(), Cp932::Counting::Table)));
}

void MainWindow::onBodyChanged() {
  draftSent_ = false;
  countBody();
}

void MainWindow::countBody() {
  const BodyCounter::Verdict verdict = BodyCounter::afterChange(bodyByteCount(), bodyLimit_);
  bodyCounter_->setText(verdict.caption);
  // Advisory only: the body keeps every byte.
  if (verdict.overLimit) MessageBox::show(QStringLiteral("文字数が制限を越えています。"));
}

void MainWindow::onSendClicked() {
  if (transmission_->busy()) return;
  // The mail text, and the log file made from it, breaks lines with CR LF
  // throughout, as the header lines do; the box itself holds LF.
  QString body = bodyEdit_->toPlainText();
  body.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  sendBoxes_->send(recipientBox_->currentText(), subjectEdit_->text(), body);
}

void MainWindow::onCopyClicked() {
  // The platform's own line breaks (LF): the box's text as it stands.
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  clipboard->setText(bodyEdit_->toPlainText());
}

void MainWindow::onSettingsClicked() {
  emit settingsRequested();
}

void MainWindow::onCloseClicked() {
  if (close()) QCoreApplication::quit();
}

// 閉じる and the window's own close: once nothing is lost or the user agreed,
// the program ends at once: nothing saved, the connection dropped.
void MainWindow::closeEvent(QCloseEvent* event) {
  if (!mayClose()) {
    event->ignore();
    return;
  }
  if (socket_->isOpen()) socket_->close();
  QWidget::closeEvent(event);
}

bool MainWindow::mayClose() {
  QString question;
  if (transmission_->busy())
    question = QStringLiteral("送信中です。中止して終了しますか？");
  else if (!draftSent_ && (!subjectEdit_->text().isEmpty() || !bodyEdit_->document()->isEmpty()))
    question = QStringLiteral("送信していない題名・本文があります。終了してもよろしいですか？");
  else
    return true;
  return MessageBox::show(question, MessageBox::Buttons::YesNo, MessageBox::Icon::Question, QString(),
                          MessageBox::Answer::No) == MessageBox::Answer::Yes;
}

// Dragging the window by its bare surface. Presses on the controls stay
// with them (the labels keep theirs), so only the surface starts a drag.
void MainWindow::startDrag(QPointF position) {
  dragging_ = true;
  dragStartX_ = static_cast<int>(std::nearbyint(position.x()));
  dragStartY_ = static_cast<int>(std::nearbyint(position.y()));
}

void MainWindow::dragTo(QPointF position) {
  if (!dragging_) return;
  const QPoint topLeft = pos();
  move(topLeft.x() + static_cast<int>(std::nearbyint(position.x())) - dragStartX_,
       topLeft.y() + static_cast<int>(std::nearbyint(position.y())) - dragStartY_);
}

void MainWindow::endDrag(QPointF position) {
  if (!dragging_) return;
  dragTo(position);
  dragging_ = false;
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
