#include "body_counter.h"

#include "cp932.h"

#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <utility>

namespace BodyCounter {

qsizetype bodyByteCount(QStringView body) {
  // The code page counts LF as one byte; the mail carries CR LF.
  return Cp932::byteCount(body, Cp932::Counting::Table) + body.count(u'\n');
}

QString limitCaption(qsizetype count, std::int32_t limit) {
  return QString::number(count) + QLatin1Char('/') + QString::number(limit);
}

Verdict afterChange(qsizetype count, std::int32_t limit) {
  Verdict verdict;
  if (limit == 0) {
    verdict.caption = QString::number(count) + QLatin1String("/???");
  } else {
    verdict.caption = limitCaption(count, limit);
    verdict.overLimit = count > limit;
  }
  return verdict;
}

}  // namespace BodyCounter

namespace {

// The document's own characters for line and paragraph ends and the
// non-breaking space, turned into what toPlainText() gives.
void toPlain(QString& text) {
  for (QChar& c : text) {
    switch (c.unicode()) {
      case 0xfdd0:  // beginning of a frame
      case 0xfdd1:  // end of a frame
      case QChar::ParagraphSeparator:
      case QChar::LineSeparator:
        c = u'\n';
        break;
      case QChar::Nbsp:
        c = u' ';
        break;
      default:
        break;
    }
  }
}

// Above this many added characters one full pass is as cheap as a step.
constexpr qsizetype kFullCountFrom = 64 * 1024;

}  // namespace

BodyByteTracker::BodyByteTracker(QTextDocument* document, QObject* parent)
    : QObject(parent), document_(document) {
  connect(document_, &QTextDocument::contentsChange, this, &BodyByteTracker::onContentsChange);
  recount();
  changed_ = false;
}

bool BodyByteTracker::takeChanged() {
  if (!inStep()) recount();
  return std::exchange(changed_, false);
}

qsizetype BodyByteTracker::count() {
  // A change that came without its notice shows in the length.
  if (!inStep()) recount();
  return count_;
}

void BodyByteTracker::recount() {
  QString text = document_->toPlainText();
  if (text != text_) changed_ = true;
  text_ = std::move(text);
  count_ = BodyCounter::bodyByteCount(text_);
}

bool BodyByteTracker::inStep() const {
  return text_.size() == std::max(0, document_->characterCount() - 1);
}

QString BodyByteTracker::plainTextOf(int from, int to) const {
  QTextCursor cursor(document_);
  cursor.setPosition(from);
  cursor.setPosition(to, QTextCursor::KeepAnchor);
  QString text = cursor.selectedText();
  toPlain(text);
  return text;
}

void BodyByteTracker::onContentsChange(int position, int charsRemoved, int charsAdded) {
  // The notices may reach one past the end (the document's closing
  // paragraph mark): clip them to the plain text on both sides.
  const qsizetype newLength = std::max(0, document_->characterCount() - 1);
  const qsizetype oldLength = text_.size();
  if (position < 0 || charsRemoved < 0 || charsAdded < 0 || position > oldLength ||
      position > newLength) {
    recount();
    return;
  }
  qsizetype start = position;
  qsizetype oldEnd = std::min<qsizetype>(start + charsRemoved, oldLength);
  qsizetype newEnd = std::min<qsizetype>(start + charsAdded, newLength);
  if (oldLength - (oldEnd - start) + (newEnd - start) != newLength || newEnd - start > kFullCountFrom) {
    recount();
    return;
  }
  // Never split a surrogate pair: widen the span over the unchanged halves.
  if (start > 0 && text_.at(start - 1).isHighSurrogate()) --start;
  if (oldEnd < oldLength && text_.at(oldEnd).isLowSurrogate()) {
    ++oldEnd;
    ++newEnd;
  }
  const QString added = plainTextOf(static_cast<int>(start), static_cast<int>(newEnd));
  const QStringView removed = QStringView(text_).sliced(start, oldEnd - start);
  if (removed == added) return;
  changed_ = true;
  count_ -= BodyCounter::bodyByteCount(removed);
  count_ += BodyCounter::bodyByteCount(added);
  text_.replace(start, oldEnd - start, added);
}
