#include "sent_mail_list_model.h"

#include "search_folding.h"

SentMailListModel::SentMailListModel(QObject* parent) : QAbstractTableModel(parent) {}

int SentMailListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(entries_.size());
}

int SentMailListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QDateTime SentMailListModel::shownDate(const Entry& entry) {
  return entry.date.isValid() ? entry.date.toLocalTime() : QDateTime::fromMSecsSinceEpoch(entry.modified);
}

QVariant SentMailListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= entries_.size()) return {};
  const Entry& e = entries_.at(index.row());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      switch (index.column()) {
        case DateColumn:
          return shownDate(e).toString(QStringLiteral("yyyy/MM/dd HH:mm"));
        case RecipientColumn:
          return e.to;
        case SubjectColumn:
          return e.subject;
      }
      return {};
    case SortKeyRole:
      return shownDate(e).toMSecsSinceEpoch();
    case PathRole:
      return e.path;
  }
  return {};
}

QVariant SentMailListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case DateColumn:
      return QStringLiteral("日時");
    case RecipientColumn:
      return QStringLiteral("宛先");
    case SubjectColumn:
      return QStringLiteral("題名");
  }
  return {};
}

void SentMailListModel::append(QList<Entry> entries) {
  if (entries.isEmpty()) return;
  const int first = int(entries_.size());
  beginInsertRows({}, first, first + int(entries.size()) - 1);
  for (Entry& e : entries) {
    e.foldedHeaders = SearchFolding::fold(QString(e.to + QLatin1Char('\n') + e.subject));
    rows_.insert(e.path, int(entries_.size()));
    entries_.append(std::move(e));
  }
  endInsertRows();
}

void SentMailListModel::replace(int row, Entry entry) {
  entry.foldedHeaders = SearchFolding::fold(QString(entry.to + QLatin1Char('\n') + entry.subject));
  entries_[row] = std::move(entry);
  emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void SentMailListModel::removeRowOf(const QString& path) {
  const int row = rowOf(path);
  if (row < 0) return;
  beginRemoveRows({}, row, row);
  entries_.removeAt(row);
  rows_.remove(path);
  for (auto it = rows_.begin(); it != rows_.end(); ++it)
    if (it.value() > row) --it.value();
  endRemoveRows();
}
