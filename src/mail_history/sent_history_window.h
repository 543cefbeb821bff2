#pragma once

#include "sent_mail_index.h"
#include "sent_mail_reader.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeView;

// The window "送信履歴": every mail of the log folder, newest first, a
// search box over 宛先, 題名 and 本文, the selected mail in a read-only
// pane, and the buttons that reuse or delete it. It follows the folder
// while open.
class SentHistoryWindow : public QWidget {
  Q_OBJECT

 public:
  explicit SentHistoryWindow(const QString& logFolder, QWidget* parent = nullptr);
  ~SentHistoryWindow() override;

  SentMailIndex& index() { return index_; }
  // The selected mail's log file; empty when none is selected.
  QString selectedPath() const;

 signals:
  // The user wants a new mail with this one's recipient, subject and body.
  void composeRequested(const SentMailReader::SentMail& mail);

 private:
  void onComposeClicked();
  void onDeleteClicked();
  void buildControls();
  void buildMailList();
  QWidget* buildListSide();
  QWidget* buildReadingPane();
  void connectControls();
  void nameControls();
  void showSelected();
  void updateNotes();

  SentMailIndex index_;

  // Controls; each one's objectName is its member's name without the underscore.
  QLineEdit* searchBox_ = nullptr;
  QTreeView* mailList_ = nullptr;
  QLabel* emptyNote_ = nullptr;       // "送信ログはまだありません。"
  QLabel* unreadableNote_ = nullptr;  // "読み込めなかったファイル: N 件"
  QLineEdit* shownTo_ = nullptr;
  QLineEdit* shownFrom_ = nullptr;
  QLineEdit* shownDate_ = nullptr;
  QLineEdit* shownSubject_ = nullptr;
  QPlainTextEdit* shownBody_ = nullptr;
  QPushButton* composeButton_ = nullptr;  // "この内容で作成"
  QPushButton* deleteButton_ = nullptr;   // "削除"
};
