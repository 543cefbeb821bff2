// Building the mail text of a 10,000-byte body (the largest carrier limit
// but one), once per send, in each character set.
//
//   bench_mail_text [--benchmark_filter=...]

#include "cp932.h"
#include "mail_text.h"
#include "mime_text.h"

#include <benchmark/benchmark.h>

namespace {

// About 10,000 CP932 bytes of Japanese mixed with ASCII, in lines of a
// paragraph each, as mail to a phone looks; one paragraph runs long.
QString body() {
  const QString line = QStringLiteral("明日の打ち合わせは10:00から第3会議室です。資料を持参してください。\n");
  QString text = QStringLiteral("長い段落").repeated(300) + QLatin1Char('\n');
  while (Cp932::byteCount(text, Cp932::Counting::Conversion) < 10000) text += line;
  return text;
}

const QString kSubject = QStringLiteral("明日の打ち合わせについてのご連絡");

void BM_MailTextShiftJis(benchmark::State& state) {
  const QString text = body();
  for (auto _ : state)
    benchmark::DoNotOptimize(
        Cp932::fromUnicode(MailText::subjectLine(kSubject) + QStringLiteral("\r\n") + MailText::breakLongLines(text)));
}

void BM_MailTextMime(benchmark::State& state) {
  const QString text = body();
  const auto charset = state.range(0) == 0 ? MailSettings::Charset::Iso2022Jp : MailSettings::Charset::Utf8;
  const bool eightBit = state.range(1) != 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(MimeText::compose(kSubject, text, charset, eightBit, QStringLiteral("example.jp")));
}

}  // namespace

BENCHMARK(BM_MailTextShiftJis)->Unit(benchmark::kMicrosecond);
// Arguments: 0 ISO-2022-JP, 1 UTF-8; then 8BITMIME off or on.
BENCHMARK(BM_MailTextMime)->Args({0, 0})->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
