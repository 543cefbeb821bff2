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
  updateNotes();
}

SentHistoryWindow::~SentHistoryWindow() = default;

void SentHistoryWindow::buildControls() {
  setWindowTitle(QStringLiteral("送信履歴"));
  resize(760, 600);

  searchBox = new QLineEdit(this);
  searchBox->setPlaceholderText(QStringLiteral("宛先・題名・本文を検索"));
  searchBox->setClearButtonEnabled(true);

  mailList = new QTreeView(this);
  mailList->setModel(index_.shownMails());
  mailList->setRootIsDecorated(false);
  mailList->setUniformRowHeights(true);  // a list of ten thousand rows stays quick
  mailList->setSelectionMode(QAbstractItemView::SingleSelection);
  mailList->setSelectionBehavior(QAbstractItemView::SelectRows);
  mailList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  mailList->setAllColumnsShowFocus(true);
  // Fixed widths: measuring the contents would read every row.
  const int dateWidth = mailList->fontMetrics().horizontalAdvance(QStringLiteral("0000/00/00 00:00")) + 24;
  mailList->header()->resizeSection(SentMailListModel::DateColumn, dateWidth);
  mailList->header()->resizeSection(SentMailListModel::RecipientColumn, 220);
  mailList->header()->setStretchLastSection(true);

  emptyNote = new QLabel(QStringLiteral("送信ログはまだありません。"), this);
  emptyNote->setAlignment(Qt::AlignCenter);
  unreadableNote = new QLabel(this);

  composeButton = new QPushButton(QStringLiteral("この内容で作成"), this);
  deleteButton = new QPushButton(QStringLiteral("削除"), this);

  auto* listSide = new QWidget(this);
  auto* listLayout = new QVBoxLayout(listSide);
  listLayout->setContentsMargins(0, 0, 0, 0);
  listLayout->addWidget(mailList);
  listLayout->addWidget(emptyNote);
  listLayout->addWidget(unreadableNote);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(listSide);
  splitter->addWidget(buildReadingPane());
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(composeButton);
  buttons->addWidget(deleteButton);

  auto* root = new QVBoxLayout(this);
  root->addWidget(searchBox);
  root->addWidget(splitter, 1);
  root->addLayout(buttons);

  connect(searchBox, &QLineEdit::textChanged, &index_, &SentMailIndex::setSearchText);
  connect(mailList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &SentHistoryWindow::showSelected);
  connect(composeButton, &QPushButton::clicked, this, &SentHistoryWindow::onComposeClicked);
  connect(deleteButton, &QPushButton::clicked, this, &SentHistoryWindow::onDeleteClicked);
  connect(&index_, &SentMailIndex::loadingFinished, this, &SentHistoryWindow::updateNotes);
  connect(&index_, &SentMailIndex::unreadableCountChanged, this, &SentHistoryWindow::updateNotes);
  connect(index_.model(), &QAbstractItemModel::rowsInserted, this, &SentHistoryWindow::updateNotes);
  connect(index_.model(), &QAbstractItemModel::rowsRemoved, this, &SentHistoryWindow::updateNotes);
  auto* closeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(closeKey, &QShortcut::activated, this, &QWidget::close);
  showSelected();
}

QWidget* SentHistoryWindow::buildReadingPane() {
  auto* pane = new QWidget(this);
  shownTo = readOnlyLine(pane);
  shownFrom = readOnlyLine(pane);
  shownDate = readOnlyLine(pane);
  shownSubject = readOnlyLine(pane);
  shownBody = new QPlainTextEdit(pane);
  shownBody->setReadOnly(true);
  auto* layout = new QFormLayout(pane);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addRow(QStringLiteral("宛先"), shownTo);
  layout->addRow(QStringLiteral("差出人"), shownFrom);
  layout->addRow(QStringLiteral("日時"), shownDate);
  layout->addRow(QStringLiteral("題名"), shownSubject);
  layout->addRow(QStringLiteral("本文"), shownBody);
  return pane;
}

QString SentHistoryWindow::selectedPath() const {
  const QModelIndexList rows = mailList->selectionModel()->selectedRows();
  return rows.isEmpty() ? QString() : rows.first().data(SentMailListModel::PathRole).toString();
}

void SentHistoryWindow::showSelected() {
  const QString path = selectedPath();
  // Read when shown: the list holds no bodies.
  const SentMailReader::SentMail mail = path.isEmpty() ? SentMailReader::SentMail() : SentMailReader::readMail(path);
  shownTo->setText(mail.to);
  shownFrom->setText(mail.from);
  const int row = index_.model()->rowOf(path);
  shownDate->setText(row < 0 ? QString()
                             : SentMailListModel::shownDate(index_.model()->entry(row))
                                   .toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")));
  shownSubject->setText(mail.subject);
  shownBody->setPlainText(mail.body);
  composeButton->setEnabled(mail.isMail);
  deleteButton->setEnabled(!path.isEmpty());
}

void SentHistoryWindow::updateNotes() {
  const bool noMails = index_.model()->rowCount() == 0;
  // While the first listing runs, nothing is said yet.
  const bool known = !index_.isLoading() || !noMails;
  emptyNote->setVisible(noMails && known);
  mailList->setVisible(!noMails || !known);
  const int unreadable = index_.unreadableCount();
  unreadableNote->setText(QStringLiteral("読み込めなかったファイル: %1 件").arg(unreadable));
  unreadableNote->setVisible(unreadable > 0);
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
