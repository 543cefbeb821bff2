#pragma once

#include <QObject>
#include <QString>
#include <QStringView>
#include <cstdint>

class QTextDocument;

// The byte counts behind the counters of the main window.
namespace BodyCounter {

// Bytes the body takes when it is sent: the code page's count, with every
// line break counted as CR LF (the text box itself holds LF only).
qsizetype bodyByteCount(QStringView body);

// The body counter's caption as a carrier choice shows it: "120/500", and
// "120/0" for a carrier without a limit.
QString limitCaption(qsizetype count, std::int32_t limit);

// What a change of the body shows: the caption ("120/500", or "120/???"
// without a limit) and whether the count is above a limit.
struct Verdict {
  QString caption;
  bool overLimit = false;
};
Verdict afterChange(qsizetype count, std::int32_t limit);

}  // namespace BodyCounter

// Keeps the byte count of a text document up to date from its change
// notices, so that a keystroke in a long body costs only the bytes it
// touched. Holds a copy of the document's plain text to know what a change
// removed; whenever the notices and the document disagree it counts anew.
class BodyByteTracker : public QObject {
  Q_OBJECT

 public:
  explicit BodyByteTracker(QTextDocument* document, QObject* parent = nullptr);

  // The body's byte count as bodyByteCount(document->toPlainText()) gives it.
  qsizetype count();
  // Counts the whole document anew.
  void recount();
  // The document's text as toPlainText() gives it.
  const QString& text() const { return text_; }
  // Whether the text changed since the last call. The document also
  // reports changes that leave the text as it was (an input method's
  // composition, a change of format); those are not changes of the body.
  bool takeChanged();

 private:
  void onContentsChange(int position, int charsRemoved, int charsAdded);
  QString plainTextOf(int from, int to) const;
  bool inStep() const;

  QTextDocument* document_;
  QString text_;
  qsizetype count_ = 0;
  bool changed_ = false;
};
