#include "compose_from_history.h"

#include "message_box.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace ComposeFromHistory {

bool fillComposeBoxes(const ComposeBoxes& boxes, const SentMailReader::SentMail& mail) {
  // The recipient box always holds the standing recipient; only a subject
  // or a body being written is work that replacing would lose.
  if (!boxes.subject->text().isEmpty() || !boxes.body->toPlainText().isEmpty()) {
    const QString question = QStringLiteral("作成中の題名と本文を、このメールの内容で置き換えますか？");
    if (MessageBox::show(question, MessageBox::Buttons::YesNo, MessageBox::Icon::Question, QString(),
                           MessageBox::Answer::No) != MessageBox::Answer::Yes)
      return false;
  }
  boxes.recipient->setEditText(mail.to);
  boxes.subject->setText(mail.subject);
  boxes.body->setPlainText(mail.body);
  return true;
}

}  // namespace ComposeFromHistory
