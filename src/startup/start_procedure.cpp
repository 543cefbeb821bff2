#include "start_procedure.h"

#include "app_places.h"
#include "message_box.h"
#include "sent_history_opener.h"
#include "settings_window_opener.h"
#include "plain_text.h"
#include "single_instance.h"
#include "main_window.h"

#include <QApplication>

namespace StartProcedure {

QString settingsMissingText() {
  return QStringLiteral("設定ファイルが見つかりません。(Data.ini) ") + kCrLf +
         MessageBox::kApplicationTitle + QStringLiteral("を終了します。");
}

QString settingsRefusedText(const AppPlaces::SettingsCheck& check) {
  return QStringLiteral("設定ファイルを安全に読めないため使えません。(Data.ini) ") + kCrLf +
         check.place + QStringLiteral("：") + check.reason + kCrLf + MessageBox::kApplicationTitle +
         QStringLiteral("を終了します。");
}

StartOutcome run(const QString& instanceKey, int& exitCode) {
  exitCode = 0;
  SingleInstance instance(instanceKey);
  if (!instance.isFirst()) {
    // The first instance comes forward; this one ends without a window and
    // without looking at the settings file.
    instance.askFirstToRaise();
    return StartOutcome::SecondInstance;
  }

  // Installed, the user's own settings are made from the shipped default.
  const AppPlaces::SettingsCheck settings = AppPlaces::prepareSettingsFile();
  if (settings.state == AppPlaces::SettingsCheck::State::Refused) {
    MessageBox::show(settingsRefusedText(settings), MessageBox::Buttons::Ok, MessageBox::Icon::Critical);
    return StartOutcome::SettingsRefused;
  }
  if (!settings.ready()) {
    MessageBox::show(settingsMissingText(), MessageBox::Buttons::Ok, MessageBox::Icon::Critical);
    return StartOutcome::SettingsMissing;
  }

  MainWindow mainWindow(SettingsFile::inUse());
  QObject::connect(&mainWindow, &MainWindow::settingsRequested, &mainWindow,
                   [&mainWindow] { showSettingsWindow(mainWindow); });
  QObject::connect(&mainWindow, &MainWindow::historyRequested, &mainWindow, [&mainWindow] { showSentHistory(mainWindow); });
  QObject::connect(&instance, &SingleInstance::raiseRequested, &mainWindow,
                   [&mainWindow] { raiseLastActiveWindow(&mainWindow); });
  mainWindow.showAndLoad();
  exitCode = QApplication::exec();
  return StartOutcome::MainWindowRan;
}

}  // namespace StartProcedure
