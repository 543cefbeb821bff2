#pragma once

class QApplication;
class QTranslator;

namespace ApplicationSetup {

// Names the application and makes Qt's standard buttons and the text boxes'
// menus speak Japanese like the rest of the program. The translator must
// live as long as the application.
void Prepare(QApplication& app, QTranslator& qtTranslator);

}  // namespace ApplicationSetup
