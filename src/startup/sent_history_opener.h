#pragma once

class MainWindow;

// Shows the sent-mail history window of the main window, made on first
// use and kept (hidden when closed) while the main window lives. Its
// "この内容で作成" fills the main window's boxes. Opened over a modal
// window (the settings window), it is modal itself, since that window
// would otherwise block it.
void showSentHistory(MainWindow& main);
