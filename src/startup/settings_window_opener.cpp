#include "settings_window_opener.h"

#include "settings_window.h"
#include "sent_history_opener.h"
#include "main_window.h"

void showSettingsWindow(MainWindow& main) {
  auto* window = new SettingsWindow(main.settingsFile(), main.recipientText(), main.runningSettings(), main.sendBoxes(),
                                   main.passwords(), &main);
  window->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(window, &SettingsWindow::saved, &main, &MainWindow::takeSavedSettings);
  QObject::connect(window, &SettingsWindow::historyRequested, &main, [&main] { showSentHistory(main); });
  window->exec();
}
