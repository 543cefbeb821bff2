#include "sent_history_window.h"

#include "message_box.h"

#include <QFormLayout>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>
#include <utility>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QLineEdit* readOnlyLine(QWidget* parent) {
  auto* line = new QLineEdit(parent);
  line->setReadOnly(true);
  return line;
}

}  // namespace

SentHistoryWindow::SentHistoryWindow(const QString& logFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), index_(logFolder) {
  buildControls();
  nameControls();
  updateNotes();
}

SentHistoryWindow::~SentHistoryWindow() = default;

// Each control is named after its member, so that findChild reaches it.
void SentHistoryWindow::nameControls() {
  const std::pair<QWidget*, const char*> controls[] = {
      {searchBox_, "searchBox"},
      {mailList_, "mailList"},
      {emptyNote_, "emptyNote"},
      {unreadableNote_, "unreadableNote"},
      {shownTo_, "shownTo"},
      {shownFrom_, "shownFrom"},
      {shownDate_, "shownDate"},
      {shownSubject_, "shownSubject"},
      {shownBody_, "shownBody"},
      {composeButton_, "composeButton"},
      {deleteButton_, "deleteButton"}};
  for (auto [control, name] : controls) control->setObjectName(QLatin1String(name));
}

void SentHistoryWindow::buildControls() {
  setWindowTitle(QStringLiteral("送信履歴"));
  resize(760, 600);

  searchBox_ = new QLineEdit(this);
  searchBox_->setPlaceholderText(QStringLiteral("宛先・題名・本文を検索"));
  searchBox_->setClearButtonEnabled(true);
  // Made in the order Tab goes: search, list, buttons, then the reading pane.
  buildMailList();
  composeButton_ = new QPushButton(QStringLiteral("この内容で作成"), this);
  deleteButton_ = new QPushButton(QStringLiteral("削除"), this);

  QWidget* listSide = buildListSide();
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(listSide);
  splitter->addWidget(buildReadingPane());
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(composeButton_);
  buttons->addWidget(deleteButton_);

  auto* root = new QVBoxLayout(this);
  root->addWidget(searchBox_);
  root->addWidget(splitter, 1);
  root->addLayout(buttons);

  connectControls();
  showSelected();
}

// The list of mails and its two notes.
void SentHistoryWindow::buildMailList() {
  mailList_ = new QTreeView(this);
  mailList_->setModel(index_.shownMails());
  mailList_->setRootIsDecorated(false);
  mailList_->setUniformRowHeights(true);  // a list of ten thousand rows stays quick
  mailList_->setSelectionMode(QAbstractItemView::SingleSelection);
  mailList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  mailList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  mailList_->setAllColumnsShowFocus(true);
  // Fixed widths: measuring the contents would read every row.
  const int dateWidth = mailList_->fontMetrics().horizontalAdvance(QStringLiteral("0000/00/00 00:00")) + 24;
  mailList_->header()->resizeSection(SentMailListModel::DateColumn, dateWidth);
  mailList_->header()->resizeSection(SentMailListModel::RecipientColumn, 220);
  mailList_->header()->setStretchLastSection(true);

  emptyNote_ = new QLabel(QStringLiteral("送信ログはまだありません。"), this);
  emptyNote_->setAlignment(Qt::AlignCenter);
  unreadableNote_ = new QLabel(this);
}

// The list with the notes below it.
QWidget* SentHistoryWindow::buildListSide() {
  auto* listSide = new QWidget(this);
  auto* listLayout = new QVBoxLayout(listSide);
  listLayout->setContentsMargins(0, 0, 0, 0);
  listLayout->addWidget(mailList_);
  listLayout->addWidget(emptyNote_);
  listLayout->addWidget(unreadableNote_);
  return listSide;
}

void SentHistoryWindow::connectControls() {
  connect(searchBox_, &QLineEdit::textChanged, &index_, &SentMailIndex::setSearchText);
  connect(mailList_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &SentHistoryWindow::showSelected);
  connect(composeButton_, &QPushButton::clicked, this, &SentHistoryWindow::onComposeClicked);
  connect(deleteButton_, &QPushButton::clicked, this, &SentHistoryWindow::onDeleteClicked);
  connect(&index_, &SentMailIndex::loadingFinished, this, &SentHistoryWindow::updateNotes);
  connect(&index_, &SentMailIndex::unreadableCountChanged, this, &SentHistoryWindow::updateNotes);
  connect(index_.model(), &QAbstractItemModel::rowsInserted, this, &SentHistoryWindow::updateNotes);
  connect(index_.model(), &QAbstractItemModel::rowsRemoved, this, &SentHistoryWindow::updateNotes);
  auto* closeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(closeKey, &QShortcut::activated, this, &QWidget::close);
}

QWidget* SentHistoryWindow::buildReadingPane() {
  auto* pane = new QWidget(this);
  shownTo_ = readOnlyLine(pane);
  shownFrom_ = readOnlyLine(pane);
  shownDate_ = readOnlyLine(pane);
  shownSubject_ = readOnlyLine(pane);
  shownBody_ = new QPlainTextEdit(pane);
  shownBody_->setReadOnly(true);
  auto* layout = new QFormLayout(pane);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addRow(QStringLiteral("宛先"), shownTo_);
  layout->addRow(QStringLiteral("差出人"), shownFrom_);
  layout->addRow(QStringLiteral("日時"), shownDate_);
  layout->addRow(QStringLiteral("題名"), shownSubject_);
  layout->addRow(QStringLiteral("本文"), shownBody_);
  return pane;
}

QString SentHistoryWindow::selectedPath() const {
  const QModelIndexList rows = mailList_->selectionModel()->selectedRows();
  return rows.isEmpty() ? QString() : rows.first().data(SentMailListModel::PathRole).toString();
}

void SentHistoryWindow::showSelected() {
  const QString path = selectedPath();
  // Read when shown: the list holds no bodies.
  const SentMailReader::SentMail mail = path.isEmpty() ? SentMailReader::SentMail() : SentMailReader::readMail(path);
  shownTo_->setText(mail.to);
  shownFrom_->setText(mail.from);
  const int row = index_.model()->rowOf(path);
  shownDate_->setText(
      row < 0
          ? QString()
          : SentMailListModel::shownDate(index_.model()->entry(row)).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")));
  shownSubject_->setText(mail.subject);
  shownBody_->setPlainText(mail.body);
  composeButton_->setEnabled(mail.isMail);
  deleteButton_->setEnabled(!path.isEmpty());
}

void SentHistoryWindow::updateNotes() {
  const bool noMails = index_.model()->rowCount() == 0;
  // While the first listing runs, nothing is said yet.
  const bool known = !index_.isLoading() || !noMails;
  emptyNote_->setVisible(noMails && known);
  mailList_->setVisible(!noMails || !known);
  const int unreadable = index_.unreadableCount();
  unreadableNote_->setText(QStringLiteral("読み込めなかったファイル: %1 件").arg(unreadable));
  unreadableNote_->setVisible(unreadable > 0);
}

void SentHistoryWindow::onComposeClicked() {
  const QString path = selectedPath();
  if (path.isEmpty()) return;
  const SentMailReader::SentMail mail = SentMailReader::readMail(path);
  if (mail.isMail) emit composeRequested(mail);
}

namespace {

// The mails a log file holds: each one the program logs begins with its
// Date line.
qsizetype mailsInFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  const QByteArray text = file.readAll();
  return (text.startsWith("Date:") ? 1 : 0) + text.count("\r\nDate:");
}

}  // namespace

void SentHistoryWindow::onDeleteClicked() {
  const QString path = selectedPath();
  if (path.isEmpty()) return;
  QString question = QStringLiteral("選択したメールのログファイルを削除しますか？") + kCrLf + kCrLf + path;
  // A file can hold more than one mail (the 513th of a day with the same
  // subject joins one): the question says that all of them go.
  if (const qsizetype mails = mailsInFile(path); mails > 1)
    question += kCrLf + kCrLf + QStringLiteral("このファイルには %1 通のメールが含まれています。すべて削除されます。").arg(mails);
  if (MessageBox::show(question, MessageBox::Buttons::YesNo, MessageBox::Icon::Question, QString(),
                         MessageBox::Answer::No) != MessageBox::Answer::Yes)
    return;
  QString reason;
  if (!index_.removeFile(path, &reason))
    MessageBox::show(QStringLiteral("ログファイルを削除できませんでした。") + kCrLf + kCrLf + reason,
                       MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
}
