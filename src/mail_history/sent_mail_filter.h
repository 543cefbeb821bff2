#pragma once

#include <QSet>
#include <QSortFilterProxyModel>
#include <QString>
#include <QStringList>

class SentMailListModel;

// The rows the search lets through, newest first. The search is the
// filter's own state, as in Qt's sort/filter examples: the folded word,
// and the mails whose bodies (searched on a worker) hold it.
class SentMailFilter : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit SentMailFilter(SentMailListModel* source, QObject* parent = nullptr);

  // A new search: a folded word, with a number of its own and no body
  // matched yet; empty lets every row through.
  void setQuery(const QString& foldedQuery);
  const QString& query() const { return query_; }
  quint64 queryNumber() const { return queryNumber_; }

  // Whether the row's 宛先 or 題名 holds the word.
  bool headersMatch(int sourceRow) const;
  // These mails' bodies hold the current word.
  void markBodyMatches(const QStringList& paths);
  // The mail was read anew: what its body held is no longer known.
  void forgetBodyMatch(const QString& path) { bodyMatches_.remove(path); }

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

 private:
  SentMailListModel* source_;
  QString query_;
  quint64 queryNumber_ = 1;
  QSet<QString> bodyMatches_;  // paths, for the current word
};
