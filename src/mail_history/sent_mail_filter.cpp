#include "sent_mail_filter.h"

#include "search_folding.h"
#include "sent_mail_list_model.h"

SentMailFilter::SentMailFilter(SentMailListModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), source_(source) {
  setSourceModel(source);
  setSortRole(SentMailListModel::SortKeyRole);
  setDynamicSortFilter(true);
  sort(SentMailListModel::DateColumn, Qt::DescendingOrder);
}

void SentMailFilter::setQuery(const QString& foldedQuery) {
  query_ = foldedQuery;
  ++queryNumber_;
  bodyMatches_.clear();
  invalidateFilter();
}

bool SentMailFilter::headersMatch(int sourceRow) const {
  return SearchFolding::matches(source_->entry(sourceRow).foldedHeaders, query_);
}

void SentMailFilter::markBodyMatches(const QStringList& paths) {
  bool known = false;
  for (const QString& path : paths) {
    if (source_->rowOf(path) < 0) continue;  // gone meanwhile
    bodyMatches_.insert(path);
    known = true;
  }
  if (known) invalidateRowsFilter();
}

bool SentMailFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
  return query_.isEmpty() || headersMatch(sourceRow) || bodyMatches_.contains(source_->entry(sourceRow).path);
}
