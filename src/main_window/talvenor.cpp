#include "talvenor.h"

#include "body_counter.h"
#include "composer_controls.h"
#include "data_ini_layout.h"
#include "mail_text.h"
#include "plain_text.h"
#include "focused_button.h"
#include "message_box.h"
#include "mod_ini.h"
#include "ansi_code_page.h"
#include "socket_control.h"
#include "window_look.h"
#include "winsock.h"

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

Talvenor::Talvenor(std::unique_ptr<SocketControl> winsock, QWidget* parent)
    : QWidget(parent), winsock_(winsock ? std::move(winsock) : std::make_unique<Winsock>()) {
  // The transmission connects itself to the socket's four events; the
  // boxes of a send to the transmission's reports.
  transmission_ = std::make_unique<MailTransmission>(*winsock_);
  sendBoxes_ = std::make_unique<SendBoxes>(*transmission_, settings_);

  buildControls();

  connect(sendBoxes_.get(), &SendBoxes::clearSubjectAndBody, this, [this] {
    TxtSubj->clear();
    Txt->clear();
  });
  // While a connection is open the window shows that something is under way.
  connect(transmission_.get(), &MailTransmission::busyChanged, this, [this](bool busy) {
    if (busy)
      setCursor(Qt::BusyCursor);
    else
      unsetCursor();
  });
}

Talvenor::~Talvenor() {
  // The controls go with the QWidget part of the window, and a box losing
  // the focus on its way out must not reach the handlers of a window that
  // is no longer whole.
  Cmb->removeEventFilter(this);
  cmbTo->removeEventFilter(this);
  for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
  delete bodyBytes_;
  // The transmission refers to the socket: let it go first.
  sendBoxes_.reset();
  transmission_.reset();
}

void Talvenor::buildControls() {
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
  bodyBytes_ = new BodyByteTracker(Txt->document(), this);
  connectHandlers();
}

int Talvenor::buildCarrierAndRecipient(int y) {
  carrierCaption = makeLabel(this, QStringLiteral("キャリア"));
  carrierCaption->setGeometry(kLeft, y, kColumnWidth, kCaptionHeight);
  y += kCaptionHeight;

  // The carrier box's edit field is made here, so that the window hears of
  // a finished edit before the box itself does (see keepCarrierSelection).
  auto* carrierEdit = new QLineEdit;
  connect(carrierEdit, &QLineEdit::editingFinished, this, [this] {
    carrierEditFinishing_ = true;
    typedCarrierIndex_ = Cmb->currentIndex();
    typedCarrierText_ = Cmb->currentText();
  });
  Cmb = makeCombo(this, carrierEdit);
  connect(carrierEdit, &QLineEdit::editingFinished, this, &Talvenor::keepCarrierSelection);
  Cmb->setEditText(QStringLiteral("キャリア選択"));
  Cmb->setGeometry(kLeft, y, kColumnWidth, kComboHeight);
  y += kComboHeight + 4;

  recipientCaption = makeLabel(this, QStringLiteral("宛先"));
  recipientCaption->setGeometry(kLeft, y, kColumnWidth, kCaptionHeight);
  y += kCaptionHeight;
  cmbTo = makeCombo(this, new QLineEdit);
  cmbTo->setEditText(QStringLiteral("宛先メールアドレス"));
  cmbTo->setGeometry(kLeft, y, kColumnWidth, kComboHeight);
  return y + kComboHeight + 4;
}

int Talvenor::buildSubjectAndBody(int y) {
  const QFont fixedPitch = WindowLook::fixedPitchFont();

  subjectCaption = makeLabel(this, QStringLiteral("題名"));
  subjectCaption->setGeometry(kLeft, y, 60, kCaptionHeight);
  subjectCounter = makeLabel(this, QStringLiteral("0"));
  subjectCounter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  subjectCounter->setGeometry(kLeft + 60, y, kColumnWidth - 60, kCaptionHeight);
  y += kCaptionHeight;
  TxtSubj = new QLineEdit(this);
  TxtSubj->setFont(fixedPitch);
  WindowLook::paint(TxtSubj, {QPalette::Base}, kBoxColour);
  TxtSubj->setGeometry(kLeft, y, kColumnWidth, kSubjectHeight);
  y += kSubjectHeight + 4;

  bodyCaption = makeLabel(this, QStringLiteral("本文"));
  bodyCaption->setGeometry(kLeft, y, 60, kCaptionHeight);
  bodyCounter = makeLabel(this, QStringLiteral("0/???"));
  bodyCounter->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  bodyCounter->setGeometry(kLeft + 60, y, kColumnWidth - 60, kCaptionHeight);
  y += kCaptionHeight;
  Txt = new QPlainTextEdit(this);
  Txt->setFont(fixedPitch);
  Txt->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Txt->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Txt->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // Tab moves on to the next control, as in every other box of the window.
  Txt->setTabChangesFocus(true);
  WindowLook::paint(Txt, {QPalette::Base}, kBoxColour);
  Txt->setGeometry(kLeft, y, kColumnWidth, kBodyHeight);
  return y + kBodyHeight + 6;
}

void Talvenor::buildButtons(int y) {
  CmdMail = makeButton(this, QStringLiteral("メール送信"));
  CmdClip = makeButton(this, QStringLiteral("本文のコピー"));
  CmdMailINIT = makeButton(this, QStringLiteral("メール設定"));
  CmdClose = makeButton(this, QStringLiteral("閉じる"));
  for (QPushButton* button : {CmdMail, CmdClip, CmdMailINIT, CmdClose}) {
    button->setGeometry(kLeft, y, kColumnWidth, kButtonHeight);
    button->setAutoDefault(false);
    y += kButtonHeight + kButtonGap;
  }
}

void Talvenor::setKeyboardOrder() {
  // Each caption names its box for assistive technologies.
  const std::pair<QLabel*, QWidget*> captions[] = {
      {carrierCaption, Cmb}, {recipientCaption, cmbTo}, {subjectCaption, TxtSubj}, {bodyCaption, Txt}};
  for (const auto& [label, box] : captions) {
    label->setBuddy(box);
    box->setAccessibleName(label->text());
  }

  setTabOrder(Cmb, cmbTo);
  setTabOrder(cmbTo, TxtSubj);
  setTabOrder(TxtSubj, Txt);
  setTabOrder(Txt, CmdMail);
  setTabOrder(CmdMail, CmdClip);
  setTabOrder(CmdClip, CmdMailINIT);
  setTabOrder(CmdMailINIT, CmdClose);
  Cmb->setFocus();
}

void Talvenor::connectHandlers() {
  connect(Cmb, &QComboBox::activated, this, [this] {
    // A name typed in full is not a choice from the list.
    if (!carrierEditFinishing_) Cmb_Click();
  });
  Cmb->installEventFilter(this);
  cmbTo->installEventFilter(this);
  connect(TxtSubj, &QLineEdit::textChanged, this, &Talvenor::TxtSubj_Change);
  connect(Txt, &QPlainTextEdit::textChanged, this, [this] {
    // Composing with the input method re-lays the text out without
    // changing it; only a change of the text is a change of the body.
    if (bodyBytes_->takeChanged()) Txt_Change();
  });
  connect(CmdMail, &QPushButton::clicked, this, &Talvenor::CmdMail_Click);
  connect(CmdClip, &QPushButton::clicked, this, &Talvenor::CmdClip_Click);
  connect(CmdMailINIT, &QPushButton::clicked, this, &Talvenor::CmdMailINIT_Click);
  connect(CmdClose, &QPushButton::clicked, this, &Talvenor::CmdClose_Click);
  auto* historyKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), this);
  connect(historyKey, &QShortcut::activated, this, [this] {
    emit historyRequested();
  });
}

void Talvenor::keepCarrierSelection() {
  // Editing the carrier box's text ended (Enter or leaving the box): the
  // combo box has just selected an item whose name equals the typed text.
  // Only a choice from the list selects a carrier, so put the former
  // selection and the typed text back.
  carrierEditFinishing_ = false;
  if (Cmb->currentIndex() == typedCarrierIndex_) return;
  const QSignalBlocker blocker(Cmb);
  Cmb->setCurrentIndex(typedCarrierIndex_);
  Cmb->setEditText(typedCarrierText_);
}

void Talvenor::Form_Load() {
  const ModINI::ReadBatch oneRead;
  show();
  INIT();
  const int index = DataIni::defaultCarrier();
  if (index >= 0) {
    Cmb->setCurrentIndex(index);
    Cmb_Click();
  }
}

void Talvenor::INIT() {
  // A combo box selects its first item as soon as it has one; the carrier
  // box shows its prompt and selects nothing until Form_Load chooses.
  const bool noCarrier = Cmb->currentIndex() < 0;
  const QString carrierPrompt = Cmb->currentText();
  const int carriers = DataIni::carrierCount();
  for (int i = 0; i < carriers; ++i) Cmb->addItem(DataIni::carrierName(i));
  if (noCarrier && Cmb->currentIndex() >= 0) {
    const QSignalBlocker blocker(Cmb);
    Cmb->setCurrentIndex(-1);
    Cmb->setEditText(carrierPrompt);
  }

  fillRecipientList();
  settings_ = DataIni::readMailSettings();
  cmbTo->setEditText(settings_.recipient);
}

// Adds the stored recipient and address book to the list.
void Talvenor::fillRecipientList() {
  const int lastAddress = DataIni::addrNum();
  for (int i = 0; i <= lastAddress; ++i)
    cmbTo->addItem(DataIni::readScrambled(DataIni::Section::AddrIndex, DataIni::indexKey(i)));
}

QString Talvenor::recipientText() const { return cmbTo->currentText(); }

void Talvenor::takeSavedSettings() {
  const ModINI::ReadBatch oneRead;
  cmbTo->clear();
  fillRecipientList();
  cmbTo->setEditText(settings_.recipient);
}

qsizetype Talvenor::bodyByteCount() { return bodyBytes_->count(); }

void Talvenor::Cmb_Click() {
  mLimit = DataIni::carrierLimit(Cmb->currentIndex());
  bodyCounter->setText(BodyCounter::limitCaption(bodyByteCount(), mLimit));
}

void Talvenor::Cmb_LostFocus() {
  // -1 when nothing of the list is selected.
  ModINI::IniWrite(DataIni::Section::CarrierNum, DataIni::Key::DefaultNum,
                   QString::number(Cmb->currentIndex()));
}

void Talvenor::cmbTo_LostFocus() {
  const QString recipient = trimBlanks(cmbTo->currentText());
  mMailTo = recipient;
  DataIni::writeScrambled(DataIni::Section::MAIL, DataIni::Key::To, recipient);
  DataIni::writeScrambled(DataIni::Section::AddrIndex, DataIni::indexKey(0), recipient);
}

bool Talvenor::eventFilter(QObject* watched, QEvent* event) {
  // A box loses the focus when the keyboard focus moves on to another
  // control of this window. Its own drop-down list opening, or another
  // window (a message box, the settings window) taking over, is not that.
  if (event->type() == QEvent::FocusOut && (watched == Cmb || watched == cmbTo)) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    QWidget* box = static_cast<QWidget*>(watched);
    QWidget* next = QApplication::focusWidget();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && next != nullptr &&
        next != box && !box->isAncestorOf(next) && next->window() == window()) {
      if (watched == Cmb)
        Cmb_LostFocus();
      else
        cmbTo_LostFocus();
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Talvenor::keyPressEvent(QKeyEvent* event) {
  if (!pressFocusedButton(this, event)) QWidget::keyPressEvent(event);
}

void Talvenor::TxtSubj_Change() {
  // The subject is one line: pasted line breaks become nothing, so the
  // counter counts what is sent.
  if (TxtSubj->text().contains(QLatin1Char('\n')) || TxtSubj->text().contains(QLatin1Char('\r'))) {
    const int cursor = TxtSubj->cursorPosition();
    const QString before = TxtSubj->text().left(cursor);
    const qsizetype removedBefore = before.count(QLatin1Char('\n')) + before.count(QLatin1Char('\r'));
    TxtSubj->setText(MailText::SubjectWithoutLineBreaks(TxtSubj->text()));  // runs this handler again
    TxtSubj->setCursorPosition(cursor - int(removedBefore));
    return;
  }
  subjectCounter->setText(QString::number(AnsiCodePage::byteCount(TxtSubj->text())));
}

void Talvenor::Txt_Change() { CountBody(); }

void Talvenor::CountBody() {
  const BodyCounter::Verdict verdict = BodyCounter::afterChange(bodyByteCount(), mLimit);
  bodyCounter->setText(verdict.caption);
  // Advisory only: the body keeps every byte.
  if (verdict.overLimit) MessageBox::MsgBox(QStringLiteral("文字数が制限を越えています。"));
}

void Talvenor::CmdMail_Click() {
  // The mail text, and the log file made from it, breaks lines with CR LF
  // throughout, as the header lines do; the box itself holds LF.
  QString body = Txt->toPlainText();
  body.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  sendBoxes_->send(cmbTo->currentText(), TxtSubj->text(), body);
}

void Talvenor::CmdClip_Click() {
  // The platform's own line breaks (LF): the box's text as it stands.
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  clipboard->setText(Txt->toPlainText());
}

void Talvenor::CmdMailINIT_Click() {
  emit settingsRequested();
}

void Talvenor::CmdClose_Click() {
  // Ends the program at once: nothing asked, nothing saved, the connection
  // dropped.
  if (winsock_->State() != 0) winsock_->Close();
  close();
  QCoreApplication::quit();
}

// Dragging the window by its bare surface. Presses on the controls stay
// with them (the labels keep theirs), so only the surface starts a drag.
void Talvenor::Form_MouseDown(QPointF position) {
  mDrag = true;
  mDragX = static_cast<int>(std::nearbyint(position.x()));
  mDragY = static_cast<int>(std::nearbyint(position.y()));
}

void Talvenor::Form_MouseMove(QPointF position) {
  if (!mDrag) return;
  const QPoint topLeft = pos();
  move(topLeft.x() + static_cast<int>(std::nearbyint(position.x())) - mDragX,
       topLeft.y() + static_cast<int>(std::nearbyint(position.y())) - mDragY);
}

void Talvenor::Form_MouseUp(QPointF position) {
  if (!mDrag) return;
  Form_MouseMove(position);
  mDrag = false;
}

void Talvenor::mousePressEvent(QMouseEvent* event) {
  Form_MouseDown(event->position());
  event->accept();
}

void Talvenor::mouseMoveEvent(QMouseEvent* event) {
  Form_MouseMove(event->position());
  event->accept();
}

void Talvenor::mouseReleaseEvent(QMouseEvent* event) {
  Form_MouseUp(event->position());
  event->accept();
}
