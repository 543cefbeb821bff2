#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

// The logged mails as rows of 日時, 宛先 and 題名, with what the search
// needs of each: only header fields are held; bodies stay on disk. The
// search itself is SentMailFilter's.
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
    QString foldedHeaders;  // 宛先 and 題名 folded for the search
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

  // The date shown for an entry: its Date header in local time, or the file time.
  static QDateTime shownDate(const Entry& entry);

 private:
  QList<Entry> entries_;
  QHash<QString, int> rows_;  // path -> row
};
