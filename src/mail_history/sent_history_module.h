#pragma once

#include "message_box.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QString;
class QWidget;

// The sent-history window lives in a module of its own (talvenor_history.so),
// so that the program loads GMime only when the user opens the window. This
// is all the program and the module share: the file name and one plain
// entry point that makes the window.
namespace SentHistoryModule {

inline constexpr const char* kFileName = "talvenor_history.so";
inline constexpr const char* kMakeWindowSymbol = "talvenor_history_make_window";
// The window's objectName, for the program to find it again.
inline constexpr const char* kWindowName = "sentHistoryWindow";

// What the window needs of the program: the main window it belongs to, the
// boxes "この内容で作成" fills, and the program's message boxes (the module
// carries its own copy of the box dispatch, which answers through these).
struct Host {
  QWidget* mainWindow;
  QComboBox* recipient;
  QLineEdit* subject;
  QPlainTextEdit* body;
  MessageBox::Answer (*showBox)(const MessageBox::Request& request);
};

}  // namespace SentHistoryModule

extern "C" {
// A new, hidden sent-history window over the log folder, a child window of
// host->mainWindow; host is read during the call only.
using TalvenorHistoryMakeWindow = QWidget* (*)(const QString* logFolder, const SentHistoryModule::Host* host);
}
