// The 送信履歴 window over 10,000 logged mails (Shift_JIS, ISO-2022-JP and
// UTF-8 base64 in turn, 100 day folders), against Python's email package
// reading the same files in the same run. Prints: time to the first rows
// shown, time to the whole list, time to search the bodies for a word,
// and peak memory (of the whole process and above an empty window).
//
//   bench_sent_history [COUNT]
//
// Each measurement runs in a process of its own (this program again, or
// python3 with bench/sent_history_python.py), so that peaks do not mix.

#include "cp932.h"
#include "mail_settings.h"
#include "mail_text.h"
#include "mime_text.h"
#include "sent_history_window.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeView>

#include <sys/resource.h>

#include <cstdio>

namespace {

const QString kWord = QStringLiteral("合言葉");

long peakKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void makeLogs(const QString& folder, int count) {
  const QString paragraph = QStringLiteral("明日の打ち合わせは十時から第３会議室です。資料を持参してください。\n");
  const QDateTime first(QDate(2024, 1, 1), QTime(9, 0), Qt::OffsetFromUTC, 9 * 3600);
  for (int i = 0; i < count; ++i) {
    const QDateTime sent = first.addSecs(qint64(i) * 600);
    const QString subject = QStringLiteral("打ち合わせの件 %1").arg(i);
    QString body = paragraph.repeated(4);
    if (i % 100 == 7) body += kWord + QStringLiteral("は山と川。\n");
    body.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    const auto charset = MailSettings::Charset(i % 3);
    QByteArray text = Cp932::fromUnicode(MailText::dateLine(sent) + MailText::fromLine(QStringLiteral("taro@example.jp")) +
                                                MailText::toLine(QStringLiteral("hanako@docomo.ne.jp")) +
                                                MailText::XMailerLine());
    if (charset == MailSettings::Charset::ShiftJis)
      text += Cp932::fromUnicode(MailText::subjectLine(subject) + QStringLiteral("\r\n") + body);
    else
      text += MimeText::compose(subject, body, charset, false, QStringLiteral("example.jp")).text;
    const QString day = folder + QStringLiteral("/2024%1").arg(i * 100 / count + 1, 4, 10, QLatin1Char('0'));
    QDir().mkpath(day);
    QFile file(day + QLatin1Char('/') + subject + QStringLiteral(".eml"));
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(file.fileName()));
    file.write(text + "\r\n");
  }
}

// One measurement in this process: prints a line of figures.
int measure(const QString& folder, bool emptyFolder) {
  QElapsedTimer clock;
  clock.start();
  SentHistoryWindow window(folder);
  window.show();
  double firstMs = -1, listMs = -1, searchMs = -1;
  QObject::connect(window.findChild<QTreeView*>(QStringLiteral("mailList"))->model(), &QAbstractItemModel::rowsInserted,
                   &window, [&] {
                     if (firstMs < 0) firstMs = clock.nsecsElapsed() / 1e6;
                   });
  QEventLoop loop;
  QObject::connect(&window.index(), &SentMailIndex::loadingFinished, &loop, &QEventLoop::quit);
  if (window.index().isLoading()) loop.exec();
  listMs = clock.nsecsElapsed() / 1e6;
  const long listed = peakKib();

  int matches = 0;
  if (!emptyFolder) {
    clock.restart();
    QObject::connect(&window.index(), &SentMailIndex::searchFinished, &loop, &QEventLoop::quit);
    window.findChild<QLineEdit*>(QStringLiteral("searchBox"))->setText(kWord);
    if (window.index().isSearching()) loop.exec();
    searchMs = clock.nsecsElapsed() / 1e6;
    matches = window.findChild<QTreeView*>(QStringLiteral("mailList"))->model()->rowCount();
  }
  std::printf("program first_ms=%.1f list_ms=%.1f search_ms=%.1f matches=%d rows=%d peak_listed_kib=%ld peak_kib=%ld\n",
              firstMs, listMs, searchMs, matches, window.index().model()->rowCount(), listed, peakKib());
  return 0;
}

QMap<QString, QString> figures(const QString& line) {
  QMap<QString, QString> values;
  for (const QString& field : line.split(QLatin1Char(' '), Qt::SkipEmptyParts).mid(1))
    values.insert(field.section(QLatin1Char('='), 0, 0), field.section(QLatin1Char('='), 1));
  return values;
}

QString run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.start(program, arguments);
  if (!process.waitForFinished(-1) || process.exitCode() != 0) qFatal("%s failed", qPrintable(program));
  return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 3 && (qstrcmp(argv[1], "--measure") == 0 || qstrcmp(argv[1], "--empty") == 0)) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return measure(QString::fromLocal8Bit(argv[2]), qstrcmp(argv[1], "--empty") == 0);
  }
  QCoreApplication app(argc, argv);
  const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10000;
  QTemporaryDir work;
  const QString logs = work.path() + QStringLiteral("/mailLOG");
  const QString empty = work.path() + QStringLiteral("/emptyLOG");
  QDir().mkpath(empty);
  std::printf("== %d logged mails (Shift_JIS, ISO-2022-JP, UTF-8 base64), 100 day folders ==\n", count);
  makeLogs(logs, count);
  // Cold files would measure the disk: both readers find them cached.
  run(QStringLiteral("/usr/bin/python3"), {QStringLiteral(TALVENOR_BENCH_DIR "/sent_history_python.py"), logs, kWord});

  const auto baseline = figures(run(QCoreApplication::applicationFilePath(), {QStringLiteral("--empty"), empty}));
  const auto program = figures(run(QCoreApplication::applicationFilePath(), {QStringLiteral("--measure"), logs}));
  const auto python = figures(
      run(QStringLiteral("/usr/bin/python3"), {QStringLiteral(TALVENOR_BENCH_DIR "/sent_history_python.py"), logs, kWord}));

  const auto row = [](const char* figure, const QString& ours, const QString& theirs) {
    const double ratio = theirs.toDouble() > 0 ? ours.toDouble() / theirs.toDouble() : 0;
    std::printf("%-44s %12s %12s %8.2fx\n", figure, qPrintable(ours), qPrintable(theirs), ratio);
  };
  std::printf("%-44s %12s %12s %9s\n", "figure", "program", "python", "ratio");
  row("first rows shown, ms", program["first_ms"], python["first_ms"]);
  row("whole list, ms", program["list_ms"], python["list_ms"]);
  row("search the bodies for one word, ms", program["search_ms"], python["search_ms"]);
  row("peak memory of the process, MiB", QString::number(program["peak_kib"].toDouble() / 1024, 'f', 1),
      QString::number(python["peak_kib"].toDouble() / 1024, 'f', 1));
  std::printf("%-44s %12s\n", "  the same with no mail (window alone), MiB",
              qPrintable(QString::number(baseline["peak_kib"].toDouble() / 1024, 'f', 1)));
  std::printf("%-44s %12s\n", "  above the window alone, MiB",
              qPrintable(QString::number((program["peak_kib"].toDouble() - baseline["peak_kib"].toDouble()) / 1024,
                                         'f', 1)));
  std::printf("rows %s (python %d+%s unreadable), matches %s (python %s)\n", qPrintable(program["rows"]), count,
              qPrintable(python["unreadable"]), qPrintable(program["matches"]), qPrintable(python["matches"]));
  return 0;
}
