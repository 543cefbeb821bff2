#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSortFilterProxyModel>
#include <QString>

// The logged mails as rows of 日時, 宛先 and 題名, with what the search
// needs of each: only header fields are held; bodies stay on disk.
class SentMailListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { DateColumn, RecipientColumn, SubjectColumn, ColumnCount };
  enum Role { SortKeyRole = Qt::UserRole + 1, PathRole };

  struct Entry {
    QString path;
    qint64 modified = 0;  // file time, ms since the epoch
    qint64 size = 0;
    QDateTime date;  // the Date header; invalid: the file time stands in
    QString to;
    QString subject;
    QString foldedHeaders;   // 宛先 and 題名 folded for the search
    quint64 bodyMatch = 0;   // the search whose word the body holds
  };

  explicit SentMailListModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void append(QList<Entry> entries);
  void replace(int row, Entry entry);
  void removeRowOf(const QString& path);
  int rowOf(const QString& path) const { return rows_.value(path, -1); }
  const Entry& entry(int row) const { return entries_.at(row); }

  // The search: a folded word; each new one has a number of its own.
  void setQuery(const QString& foldedQuery);
  const QString& query() const { return query_; }
  quint64 queryNumber() const { return queryNumber_; }
  bool headersMatch(int row) const;
  void markBodyMatch(int row);
  // Whether the row belongs in the list under the search.
  bool isShown(int row) const;

  // The date shown for an entry: its Date header in local time, or the file time.
  static QDateTime shownDate(const Entry& entry);

 private:
  QList<Entry> entries_;
  QHash<QString, int> rows_;  // path -> row
  QString query_;
  quint64 queryNumber_ = 1;
};

// The rows the search lets through, newest first.
class SentMailFilter : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit SentMailFilter(SentMailListModel* source, QObject* parent = nullptr);
  void refilter() { invalidateFilter(); }

 protected:
  bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

 private:
  SentMailListModel* source_;
};
