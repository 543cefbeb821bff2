#include "settings_window_opener.h"

#include "frm_settings.h"
#include "sent_history_opener.h"
#include "talvenor.h"

void ShowSettingsWindow(Talvenor& main) {
  auto* window = new frmSettings(main.recipientText(), main.runningSettings(), main.sendBoxes(), &main);
  window->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(window, &frmSettings::saved, &main, &Talvenor::takeSavedSettings);
  QObject::connect(window, &frmSettings::historyRequested, &main, [&main] { ShowSentHistory(main); });
  window->exec();
}
