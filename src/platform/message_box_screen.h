#pragma once

class QWidget;

namespace MessageBox {

// The window an on-screen box is shown over: the modal window, else the
// active one, else the program's visible window; none before any is shown.
QWidget* ownerWindow();

}  // namespace MessageBox
