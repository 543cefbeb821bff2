#pragma once

class MainWindow;
class QString;

// Shows the sent-mail history window of the main window, made on first
// use and kept (hidden when closed) while the main window lives. Its
// "この内容で作成" fills the main window's boxes. Opened over a modal
// window (the settings window), it is modal itself, since that window
// would otherwise block it. The window comes from the history module,
// loaded on the first opening; without it the user is told so and the
// program goes on.
void showSentHistory(MainWindow& main);

// Test programs live outside the build's bin/ folder: they name the module.
void useHistoryModuleFileForTesting(const QString& path);
