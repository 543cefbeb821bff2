#pragma once

// Watches a Qt Widgets process for its first paint. At the first paint
// event of any widget in a top-level window it waits for that paint pass to
// finish (a queued call runs only after the window's whole backing store has
// been painted and flushed), prints
//
//   first-paint main=<ms> paint=<ms>
//
// on standard output and ends the event loop. Both are moments on the
// monotonic clock (steady_clock, which the runner reads as time.monotonic):
// when main() began and when the paint was done. The runner times the
// process from its spawn to this line and splits it at main(): before it
// the loader maps and relocates the libraries and runs static constructors.
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
    const auto ms = [](std::chrono::steady_clock::time_point t) {
      return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count();
    };
    std::printf("first-paint main=%.3f paint=%.3f\n", ms(mainBegan_), ms(std::chrono::steady_clock::now()));
    std::fflush(stdout);
    QCoreApplication::exit(0);
  }

  std::chrono::steady_clock::time_point mainBegan_;
  bool seen_ = false;
};
