#pragma once

#include <QString>
#include <functional>

// One modal message box: the program asks, the screen (or a test) answers.
// Nothing below the windows opens a dialog of its own; it calls MessageBox::show.
namespace MessageBox {

inline const QString kApplicationTitle = QStringLiteral("Talvenor210");

enum class Buttons { Ok, OkCancel, YesNo };
enum class Icon { None, Exclamation, Question, Critical };
enum class Answer { Ok, Cancel, Yes, No };

struct Request {
  QString text;
  Buttons buttons = Buttons::Ok;
  Icon icon = Icon::None;
  // The button that Enter presses; the first one when left as is.
  Answer defaultButton = Answer::Ok;
  QString title;  // empty: the application title
};

using Responder = std::function<Answer(const Request&)>;

// Shows the box and waits for the answer. Closing the box by its window's
// close button or Escape answers Cancel (OK/Cancel) or No (Yes/No).
Answer show(const Request& request);

// The same, for the common call shape.
Answer show(const QString& text, Buttons buttons = Buttons::Ok, Icon icon = Icon::None,
            const QString& title = QString(), Answer defaultButton = Answer::Ok);

// Installs who answers: the program installs screenResponder() at start,
// tests a scripted responder. Returns the previous responder. Without one,
// every box is answered by its default button.
Responder setResponder(Responder responder);

// Modal boxes on the screen (in the desktop part of the platform library).
Responder screenResponder();

}  // namespace MessageBox
