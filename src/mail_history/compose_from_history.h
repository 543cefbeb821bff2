#pragma once

#include "sent_mail_reader.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

// "この内容で作成": a logged mail's recipient, subject and body go into the
// composing boxes, through the boxes' own signals, so their counters
// update as for typing.
namespace ComposeFromHistory {

struct ComposeBoxes {
  QComboBox* recipient;
  QLineEdit* subject;
  QPlainTextEdit* body;
};

// When the subject or the body box holds text, asks first (default いいえ).
// False when the user kept the boxes as they were.
bool fillComposeBoxes(const ComposeBoxes& boxes, const SentMailReader::SentMail& mail);

}  // namespace ComposeFromHistory
