#pragma once

class MainWindow;

// Opens a new settings window over the main window and waits until it is
// closed; the window is destroyed on closing. The main window's socket
// events keep running meanwhile, and a save updates the main window.
void showSettingsWindow(MainWindow& main);
