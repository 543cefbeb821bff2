// The program's own start, up to the first paint of the main window.
//
// The same start as the program (application set-up, Japanese standard
// texts, the start procedure with its single-instance guard and Data.ini
// beside the executable, the main window's loading), with one addition: a
// probe that prints a "first-paint" line once the main window has been
// painted, and then ends the event loop so that the process exits.
//
// Copy the executable into a folder with a Data.ini of its own and run it
// there (bench/run-benchmarks does so): the instance name then belongs to that copy.

#include "application_setup.h"
#include "first_paint_probe.h"
#include "start_procedure.h"
#include "single_instance.h"

#include <QApplication>
#include <QTranslator>
#include <chrono>

int main(int argc, char* argv[]) {
  const auto mainBegan = std::chrono::steady_clock::now();
  QApplication app(argc, argv);
  QTranslator qtTranslator;
  ApplicationSetup::prepare(app, qtTranslator);

  FirstPaintProbe probe(mainBegan);
  app.installEventFilter(&probe);

  int exitCode = 0;
  const auto outcome = StartProcedure::run(SingleInstance::instanceKeyForExecutable(), exitCode);
  if (outcome != StartProcedure::StartOutcome::MainWindowRan) {
    std::fprintf(stderr, "bench_start: the main window did not run (no Data.ini beside the program, "
                         "or another instance is running)\n");
    return 2;
  }
  return exitCode;
}
