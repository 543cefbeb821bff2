#include "sent_mail_index.h"

#include "search_folding.h"
#include "sent_mail_reader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

// The first rows go out after a few files, the rest in larger batches or
// every tenth of a second, so the list grows without flooding the window.
constexpr int kFirstBatch = 40;
constexpr int kBatch = 1000;
constexpr qint64 kBatchMs = 100;
constexpr int kRescanDelayMs = 200;

SentMailListModel::Entry entryOf(const LogFolderListing::LogFile& file, const SentMailReader::SentMail& mail) {
  SentMailListModel::Entry entry;
  entry.path = file.path;
  entry.modified = file.modified;
  entry.size = file.size;
  entry.date = mail.date;
  entry.to = mail.to;
  entry.subject = mail.subject;
  return entry;
}

}  // namespace

SentMailIndex::SentMailIndex(const QString& logFolder, QObject* parent) : QObject(parent), logFolder_(logFolder) {
  // One worker lists and parses, another searches.
  workers_.setMaxThreadCount(2);
  rescanDelay_.setSingleShot(true);
  rescanDelay_.setInterval(kRescanDelayMs);
  connect(&rescanDelay_, &QTimer::timeout, this, &SentMailIndex::rescan);
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, &rescanDelay_, qOverload<>(&QTimer::start));
  rescan();
}

SentMailIndex::~SentMailIndex() {
  // The workers post to this object: they must be done before it goes.
  stopping_->store(true);
  if (searchToken_) searchToken_->store(true);
  workers_.waitForDone();
}

void SentMailIndex::rescan() {
  if (scanning_) {
    rescanPending_ = true;
    return;
  }
  scanning_ = true;
  workers_.start([this, folder = logFolder_, stopping = stopping_] {
    LogFolderListing::Listing listing = LogFolderListing::list(folder);
    if (stopping->load()) return;
    QMetaObject::invokeMethod(this, [this, listing = std::move(listing)] { listed(listing); }, Qt::QueuedConnection);
  });
}

void SentMailIndex::watch(const LogFolderListing::Listing& listing) {
  // The folder itself (a new day's folder), and today's folder, where new
  // logs go; without the log folder, its parent, where it will be made.
  QStringList wanted;
  if (listing.folderExists) {
    wanted << logFolder_;
    if (!listing.dayFolders.isEmpty()) wanted << listing.dayFolders.last();
  } else {
    const QString parent = QFileInfo(logFolder_).absolutePath();
    if (QFileInfo(parent).isDir()) wanted << parent;
  }
  const QStringList watched = watcher_.directories();
  for (const QString& folder : watched)
    if (!wanted.contains(folder)) watcher_.removePath(folder);
  for (const QString& folder : wanted)
    if (!watched.contains(folder)) watcher_.addPath(folder);
}

void SentMailIndex::listed(const LogFolderListing::Listing& listing) {
  watch(listing);
  QSet<QString> present;
  QList<LogFile> toParse;
  for (const LogFile& file : listing.files) {
    present.insert(file.path);
    const int row = model_.rowOf(file.path);
    if (row >= 0) {
      const SentMailListModel::Entry& known = model_.entry(row);
      if (known.modified == file.modified && known.size == file.size) continue;
    } else if (const auto it = unreadable_.constFind(file.path); it != unreadable_.cend()) {
      if (it->modified == file.modified && it->size == file.size) continue;
    }
    toParse << file;
  }
  // Files gone since the last listing.
  QStringList gone;
  for (int row = 0; row < model_.rowCount(); ++row)
    if (!present.contains(model_.entry(row).path)) gone << model_.entry(row).path;
  for (const QString& path : gone) model_.removeRowOf(path);
  const qsizetype unreadableBefore = unreadable_.size();
  for (auto it = unreadable_.begin(); it != unreadable_.end();)
    it = present.contains(it.key()) ? std::next(it) : unreadable_.erase(it);
  if (unreadable_.size() != unreadableBefore) emit unreadableCountChanged(unreadableCount());

  if (toParse.isEmpty())
    finishScan();
  else
    parseInBackground(std::move(toParse));
}

void SentMailIndex::parseInBackground(QList<LogFile> files) {
  workers_.start([this, files = std::move(files), stopping = stopping_] {
    QList<SentMailListModel::Entry> mails;
    QList<LogFile> unreadable;
    QElapsedTimer sinceBatch;
    sinceBatch.start();
    bool first = true;
    for (qsizetype i = 0; i < files.size(); ++i) {
      if (stopping->load()) return;
      const SentMailReader::SentMail mail = SentMailReader::readHeaders(files[i].path);
      if (mail.isMail)
        mails << entryOf(files[i], mail);
      else
        unreadable << files[i];
      const bool last = i + 1 == files.size();
      const qsizetype batch = mails.size() + unreadable.size();
      if (last || batch >= (first ? kFirstBatch : kBatch) || sinceBatch.elapsed() >= kBatchMs) {
        QMetaObject::invokeMethod(
            this, [this, mails = std::move(mails), unreadable = std::move(unreadable), last] {
              parsed(mails, unreadable, last);
            },
            Qt::QueuedConnection);
        mails = {};
        unreadable = {};
        first = false;
        sinceBatch.restart();
      }
    }
  });
}

void SentMailIndex::parsed(const QList<SentMailListModel::Entry>& mails, const QList<LogFile>& unreadable,
                           bool last) {
  for (const LogFile& file : unreadable) {
    model_.removeRowOf(file.path);
    unreadable_.insert(file.path, {file.modified, file.size});
  }
  QList<SentMailListModel::Entry> added;
  QStringList toSearch;
  for (const SentMailListModel::Entry& mail : mails) {
    unreadable_.remove(mail.path);
    filter_.forgetBodyMatch(mail.path);  // read anew: searched again below
    const int row = model_.rowOf(mail.path);
    if (row >= 0)
      model_.replace(row, mail);
    else
      added << mail;
    toSearch << mail.path;
  }
  model_.append(std::move(added));
  if (!unreadable.isEmpty() || !mails.isEmpty()) emit unreadableCountChanged(unreadableCount());
  // Mails that came during a search are searched too.
  if (!filter_.query().isEmpty()) {
    QStringList bodies;
    for (const QString& path : toSearch)
      if (!filter_.headersMatch(model_.rowOf(path))) bodies << path;
    if (!bodies.isEmpty()) searchBodies(bodies);
  }
  if (last) finishScan();
}

void SentMailIndex::finishScan() {
  scanning_ = false;
  emit loadingFinished();
  if (rescanPending_) {
    rescanPending_ = false;
    rescan();
  }
}

void SentMailIndex::setSearchText(const QString& text) {
  const QString query = SearchFolding::fold(text.trimmed());
  if (query == filter_.query()) return;
  if (searchToken_) searchToken_->store(true);
  searchToken_ = std::make_shared<std::atomic_bool>(false);
  filter_.setQuery(query);
  if (query.isEmpty()) return;
  // 宛先 and 題名 are matched already; the bodies of the other rows, newest first.
  QStringList bodies;
  QList<int> rows;
  for (int row = 0; row < model_.rowCount(); ++row)
    if (!filter_.headersMatch(row)) rows << row;
  std::sort(rows.begin(), rows.end(), [this](int a, int b) {
    return SentMailListModel::shownDate(model_.entry(a)) > SentMailListModel::shownDate(model_.entry(b));
  });
  for (int row : rows) bodies << model_.entry(row).path;
  if (bodies.isEmpty()) {
    if (searchJobs_ == 0) emit searchFinished();
    return;
  }
  searchBodies(bodies);
}

void SentMailIndex::searchBodies(const QStringList& paths) {
  ++searchJobs_;
  const quint64 queryNumber = filter_.queryNumber();
  workers_.start([this, paths, query = filter_.query(), queryNumber, token = searchToken_, stopping = stopping_] {
    QStringList matched;
    QElapsedTimer sinceBatch;
    sinceBatch.start();
    for (qsizetype i = 0; i < paths.size(); ++i) {
      if (token->load() || stopping->load()) break;
      const SentMailReader::SentMail mail = SentMailReader::readMail(paths[i]);
      if (mail.isMail && SearchFolding::matches(SearchFolding::fold(mail.body), query)) matched << paths[i];
      if (!matched.isEmpty() && sinceBatch.elapsed() >= kBatchMs) {
        QMetaObject::invokeMethod(
            this, [this, queryNumber, matched = std::move(matched)] { bodiesMatched(queryNumber, matched); },
            Qt::QueuedConnection);
        matched = {};
        sinceBatch.restart();
      }
    }
    if (stopping->load()) return;
    QMetaObject::invokeMethod(
        this,
        [this, queryNumber, matched = std::move(matched)] {
          bodiesMatched(queryNumber, matched);
          searchJobEnded();
        },
        Qt::QueuedConnection);
  });
}

void SentMailIndex::bodiesMatched(quint64 queryNumber, const QStringList& paths) {
  if (queryNumber != filter_.queryNumber()) return;  // an earlier word's
  filter_.markBodyMatches(paths);
}

void SentMailIndex::searchJobEnded() {
  if (--searchJobs_ == 0) emit searchFinished();
}

bool SentMailIndex::removeFile(const QString& path, QString* reason) {
  QFile file(path);
  if (!file.remove()) {
    if (reason) *reason = file.errorString();
    return false;
  }
  model_.removeRowOf(path);
  return true;
}
