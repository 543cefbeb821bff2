// Byte counting of the body, as the counters do it on every change.
//
//   bench_byte_count [--benchmark_filter=...]
//
// Runs offscreen unless QT_QPA_PLATFORM says otherwise.

#include "find_child.h"
#include "cp932.h"
#include "body_counter.h"
#include "fake_socket.h"
#include "main_window.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextCursor>
#include <benchmark/benchmark.h>

namespace {

// A body of about the given size in bytes: Japanese text mixed with ASCII,
// half-width katakana and line breaks, as mail to a phone looks.
QString makeBody(qsizetype bytes) {
  const QString line = QStringLiteral("明日の打ち合わせは10:00から第3会議室です。ｶｲｷﾞ資料 (PDF) を持参してください。\n");
  const qsizetype lineBytes = BodyCounter::bodyByteCount(line);
  QString body;
  body.reserve(bytes);
  while (BodyCounter::bodyByteCount(body) + lineBytes <= bytes) body += line;
  while (BodyCounter::bodyByteCount(body) < bytes) body += u'x';
  return body;
}

void sizes(benchmark::internal::Benchmark* b) { b->Arg(1 << 10)->Arg(100 << 10)->Arg(1 << 20); }

void BM_ByteCount(benchmark::State& state) {
  const QString body = makeBody(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(Cp932::byteCount(body, Cp932::Counting::Table));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ByteCount)->Apply(sizes);

// The whole of a counter update done the plain way: the box's text copied
// out, counted with CR LF line breaks, the caption built.
void BM_FullCountBody(benchmark::State& state) {
  QPlainTextEdit box;
  box.setPlainText(makeBody(state.range(0)));
  for (auto _ : state) {
    const QString text = box.toPlainText();
    const auto verdict = BodyCounter::afterChange(BodyCounter::bodyByteCount(text), 500);
    benchmark::DoNotOptimize(verdict.caption.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FullCountBody)->Apply(sizes);

// The counter's own share of a change: one character inserted into a
// 100 KB body and removed again through a text cursor, without the
// counter (0) and with it (1).
void BM_CounterShareOfAnEdit(benchmark::State& state) {
  QPlainTextEdit box;
  box.setPlainText(makeBody(100 << 10));
  std::unique_ptr<BodyByteTracker> tracker;
  if (state.range(0) != 0) tracker = std::make_unique<BodyByteTracker>(box.document());
  QTextCursor cursor(box.document());
  cursor.setPosition(box.document()->characterCount() / 2);
  for (auto _ : state) {
    cursor.insertText(QStringLiteral("あ"));
    if (tracker) benchmark::DoNotOptimize(tracker->count());
    cursor.deletePreviousChar();
    if (tracker) benchmark::DoNotOptimize(tracker->count());
  }
  state.counters["per_change"] =
      benchmark::Counter(double(state.iterations() * 2), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CounterShareOfAnEdit)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// One character typed into the body and taken back again, through the
// window's key handling, document, layout and counter: two changes per
// iteration. No carrier is chosen, so no limit and no message box.
void BM_TypeOneCharacter(benchmark::State& state) {
  MainWindow window(SettingsFile::inUse(), std::make_unique<FakeSocket>());
  window.show();
  child<QPlainTextEdit>(window, "bodyEdit")->setPlainText(makeBody(state.range(0)));
  child<QPlainTextEdit>(window, "bodyEdit")->setFocus();
  QTextCursor cursor = child<QPlainTextEdit>(window, "bodyEdit")->textCursor();
  cursor.setPosition(child<QPlainTextEdit>(window, "bodyEdit")->document()->characterCount() / 2);
  child<QPlainTextEdit>(window, "bodyEdit")->setTextCursor(cursor);
  QApplication::processEvents();
  for (auto _ : state) {
    QTest::keyClick(child<QPlainTextEdit>(window, "bodyEdit"), Qt::Key_A);
    QTest::keyClick(child<QPlainTextEdit>(window, "bodyEdit"), Qt::Key_Backspace);
  }
  if (window.bodyByteCount() != BodyCounter::bodyByteCount(child<QPlainTextEdit>(window, "bodyEdit")->toPlainText()))
    state.SkipWithError("counter out of step with the body");
  state.counters["per_change"] =
      benchmark::Counter(double(state.iterations() * 2), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TypeOneCharacter)->Arg(1 << 10)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
