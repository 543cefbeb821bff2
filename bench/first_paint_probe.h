#pragma once

// Watches a Qt Widgets process for its first paint. At the first paint
// event of any widget in a top-level window it waits for that paint pass to
// finish (a queued call runs only after the window's whole backing store has
// been painted and flushed), prints
//
//   first-paint <microseconds since main() began>
//
// on standard output and ends the event loop. The runner times the process
// from its spawn to this line; the figure printed here shows how much of
// that was spent before main() (loading, relocation, static constructors).
//
// Both the start-up benchmark and its floor install the same probe, so the
// two are measured alike.

#include <QApplication>
#include <QEvent>
#include <QMetaObject>
#include <QObject>
#include <QWidget>
#include <chrono>
#include <cstdio>

class FirstPaintProbe : public QObject {
 public:
  explicit FirstPaintProbe(std::chrono::steady_clock::time_point mainBegan)
      : mainBegan_(mainBegan) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!seen_ && event->type() == QEvent::Paint && watched->isWidgetType()) {
      const auto* widget = static_cast<QWidget*>(watched);
      if (widget->window() && widget->window()->isVisible()) {
        seen_ = true;
        QMetaObject::invokeMethod(this, [this] { report(); }, Qt::QueuedConnection);
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  void report() {
    const auto elapsed = std::chrono::steady_clock::now() - mainBegan_;
    std::printf("first-paint %lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()));
    std::fflush(stdout);
    QCoreApplication::exit(0);
  }

  std::chrono::steady_clock::time_point mainBegan_;
  bool seen_ = false;
};
