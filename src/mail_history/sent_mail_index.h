#pragma once

#include "log_folder_listing.h"
#include "sent_mail_filter.h"
#include "sent_mail_list_model.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <memory>

// The mails of the log folder, kept up to date while it lives: the folder
// is listed and the header blocks parsed on worker threads, newest first,
// so the first rows come at once however many mails there are. A search
// looks in 宛先 and 題名 at once and in the bodies (read from disk, never
// kept) on a worker. Files that are no mail are counted, not listed.
class SentMailIndex : public QObject {
  Q_OBJECT

 public:
  explicit SentMailIndex(const QString& logFolder, QObject* parent = nullptr);
  ~SentMailIndex() override;

  SentMailListModel* model() { return &model_; }
  // The rows to show: the search's, newest first.
  SentMailFilter* shownMails() { return &filter_; }

  // The search word as typed; empty shows every mail.
  void setSearchText(const QString& text);

  int unreadableCount() const { return int(unreadable_.size()); }
  bool isLoading() const { return scanning_; }
  bool isSearching() const { return searchJobs_ > 0; }

  // Deletes the mail's log file; its row goes. False, with the system's
  // reason, when the file could not be removed.
  bool removeFile(const QString& path, QString* reason);

  // Lists the folder again (done by itself when it changes).
  void rescan();

 signals:
  // A listing is complete: every file listed is in the rows or counted.
  void loadingFinished();
  // The bodies of every row have been searched for the current word.
  void searchFinished();
  void unreadableCountChanged(int count);

 private:
  using LogFile = LogFolderListing::LogFile;
  struct FileStamp {
    qint64 modified;
    qint64 size;
  };
  using Token = std::shared_ptr<std::atomic_bool>;  // set: the job is no longer wanted

  void listed(const LogFolderListing::Listing& listing);
  void watch(const LogFolderListing::Listing& listing);
  void parseInBackground(QList<LogFile> files);
  void parsed(const QList<SentMailListModel::Entry>& mails, const QList<LogFile>& unreadable, bool last);
  void finishScan();
  void searchBodies(const QStringList& paths);
  void bodiesMatched(quint64 queryNumber, const QStringList& paths);
  void searchJobEnded();

  QString logFolder_;
  SentMailListModel model_;
  SentMailFilter filter_{&model_};
  QHash<QString, FileStamp> unreadable_;
  QFileSystemWatcher watcher_;
  QTimer rescanDelay_;
  bool scanning_ = false;
  bool rescanPending_ = false;
  int searchJobs_ = 0;
  Token searchToken_;
  Token stopping_ = std::make_shared<std::atomic_bool>(false);
  // Declared last: its threads end before the members they post to go.
  QThreadPool workers_;
};
