#include "transcript.h"

#include <QStringView>
#include <QTime>

Q_LOGGING_CATEGORY(lcTranscript, "talvenor.transcript", QtWarningMsg)

namespace Transcript {
namespace {

void eachLine(const char* arrow, const QString& text) {
  if (!lcTranscript().isDebugEnabled()) return;
  const QString stamp = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
  QStringView rest(text);
  if (rest.endsWith(u'\n')) rest.chop(1);
  for (QStringView line : rest.split(u'\n')) {
    if (line.endsWith(u'\r')) line.chop(1);
    qCDebug(lcTranscript).noquote() << stamp << arrow << line.toString();
  }
}

}  // namespace

void sent(const QString& text) { eachLine("-->", text); }

void received(const QString& text) { eachLine("<--", text); }

void note(const QString& text) { eachLine("***", text); }

}  // namespace Transcript
