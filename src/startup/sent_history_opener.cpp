#include "sent_history_opener.h"

#include "compose_from_history.h"
#include "sent_history_window.h"
#include "main_window.h"
#include "write_log.h"

#include <QApplication>

void showSentHistory(MainWindow& main) {
  auto* window = main.findChild<SentHistoryWindow*>(QString(), Qt::FindDirectChildrenOnly);
  if (window == nullptr) {
    // The same folder as the settings window's ログを開く.
    window = new SentHistoryWindow(MailLog::logFolderPath(), &main);
    QObject::connect(window, &SentHistoryWindow::composeRequested, &main,
                     [&main, window](const SentMailReader::SentMail& mail) {
                       if (!ComposeFromHistory::fillComposeBoxes({main.recipientBox(), main.subjectEdit(), main.bodyEdit()}, mail))
                         return;
                       if (window->isModal()) return;  // the main window waits behind the modal ones
                       main.raise();
                       main.activateWindow();
                     });
  }
  QWidget* modal = QApplication::activeModalWidget();
  const Qt::WindowModality wanted = modal != nullptr && modal != window ? Qt::ApplicationModal : Qt::NonModal;
  if (window->windowModality() != wanted) {
    window->hide();  // modality changes only while hidden
    window->setWindowModality(wanted);
  }
  window->show();
  window->raise();
  window->activateWindow();
}
