#pragma once

#include <QIcon>

class QApplication;
class QTranslator;

namespace ApplicationSetup {

// The program's icon, drawn from the same SVG file its menu entry shows.
QIcon applicationIcon();

// Names the application (for the desktop too), gives every window the
// program's icon, and makes Qt's standard buttons and the text boxes'
// menus speak Japanese like the rest of the program. The translator must
// live as long as the application.
void prepare(QApplication& app, QTranslator& qtTranslator);

}  // namespace ApplicationSetup
