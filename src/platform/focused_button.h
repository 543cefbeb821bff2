#pragma once

class QKeyEvent;
class QWidget;

// Return and Enter press the button that has the focus, as Space does, in
// every window of the program (as users know it from Japanese desktop
// programs); typed in a text box they press nothing. True when the key was
// taken.
bool pressFocusedButton(QWidget* window, QKeyEvent* event);
