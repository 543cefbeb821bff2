// The module's one entry point (see sent_history_module.h).
#include "sent_history_module.h"

#include "compose_from_history.h"
#include "sent_history_window.h"

#include <type_traits>

extern "C" __attribute__((visibility("default"))) QWidget* talvenor_history_make_window(
    const QString* logFolder, const SentHistoryModule::Host* host) {
  // The window's questions go to the program's boxes (or a test's).
  MessageBox::setResponder([show = host->showBox](const MessageBox::Request& request) { return show(request); });

  auto* window = new SentHistoryWindow(*logFolder, host->mainWindow);
  window->setObjectName(QLatin1String(SentHistoryModule::kWindowName));
  const ComposeFromHistory::ComposeBoxes boxes{host->recipient, host->subject, host->body};
  QWidget* main = host->mainWindow;
  QObject::connect(window, &SentHistoryWindow::composeRequested, main,
                   [boxes, main, window](const SentMailReader::SentMail& mail) {
                     if (!ComposeFromHistory::fillComposeBoxes(boxes, mail)) return;
                     if (window->isModal()) return;  // the main window waits behind the modal ones
                     main->raise();
                     main->activateWindow();
                   });
  return window;
}

static_assert(std::is_same_v<decltype(&talvenor_history_make_window), TalvenorHistoryMakeWindow>);
