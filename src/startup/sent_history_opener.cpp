#include "sent_history_opener.h"

#include "main_window.h"
#include "message_box.h"
#include "sent_history_module.h"
#include "trusted_module.h"
#include "write_log.h"

#include <QApplication>

#include <dlfcn.h>

namespace {

QString& moduleFileForTesting() {
  static QString path;
  return path;
}

// Kept once loaded (never unloaded); a failed load is tried again at the
// next opening.
void*& loadedModule() {
  static void* handle = nullptr;
  return handle;
}

TalvenorHistoryMakeWindow windowMaker() {
  void*& handle = loadedModule();
  if (handle == nullptr)
    handle = moduleFileForTesting().isEmpty()
                 ? TrustedModule::loadProgramModule(QLatin1String(SentHistoryModule::kFileName))
                 : TrustedModule::load(moduleFileForTesting());
  return handle ? reinterpret_cast<TalvenorHistoryMakeWindow>(::dlsym(handle, SentHistoryModule::kMakeWindowSymbol))
                : nullptr;
}

MessageBox::Answer showBox(const MessageBox::Request& request) { return MessageBox::show(request); }

// The window, or nullptr once the user has been told the module is missing.
QWidget* makeWindow(MainWindow& main) {
  const TalvenorHistoryMakeWindow make = windowMaker();
  if (make == nullptr) {
    MessageBox::show(QStringLiteral("送信履歴を開く部品（%1）を読み込めませんでした。")
                         .arg(QLatin1String(SentHistoryModule::kFileName)),
                     MessageBox::Buttons::Ok, MessageBox::Icon::Exclamation);
    return nullptr;
  }
  // The same folder as the settings window's ログを開く.
  const QString folder = MailLog::logFolderPath();
  const SentHistoryModule::Host host{&main, main.recipientBox(), main.subjectEdit(), main.bodyEdit(), &showBox};
  return make(&folder, &host);
}

}  // namespace

void useHistoryModuleFileForTesting(const QString& path) {
  moduleFileForTesting() = path;
  loadedModule() = nullptr;
}

void showSentHistory(MainWindow& main) {
  auto* window = main.findChild<QWidget*>(QLatin1String(SentHistoryModule::kWindowName), Qt::FindDirectChildrenOnly);
  if (window == nullptr) window = makeWindow(main);
  if (window == nullptr) return;
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
