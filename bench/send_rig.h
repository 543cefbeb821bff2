#pragma once

// What the send benchmarks share: one mail (addresses, subject, body), the
// settings of a plain SMTP send to the benchmark's server on 127.0.0.1, and
// a message-box responder that answers at once.

#include "mail_text.h"
#include "message_box.h"
#include "mail_settings.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <functional>

namespace SendRig {

inline const QString kFrom = QStringLiteral("hanako@example.jp");
inline const QString kTo = QStringLiteral("taro@example.jp");
inline const QString kSubject = QStringLiteral("明日の打ち合わせ");

// A short mail as it goes to a phone: a few Japanese lines, about 600 bytes.
inline QString body() {
  QString text;
  for (int i = 0; i < 8; ++i)
    text += QStringLiteral("明日の打ち合わせは10:00から第3会議室です。資料を持参してください。\r\n");
  return text;
}

// SMTP to the benchmark's server on 127.0.0.1, no POP, no log.
inline MailSettings serverAt(std::uint16_t port) {
  MailSettings settings;
  settings.from = kFrom;
  settings.smtpServer = QStringLiteral("127.0.0.1");
  settings.smtpPort = port;
  return settings;
}

// Answers every box at once: OK to the confirmation, Yes to "clear subject
// and body" (the box that reports the completed send). onOutcome hears
// true for the completed send and false for any other box that ends a
// send (error replies, socket errors).
inline void answerBoxes(std::function<void(bool completed)> onOutcome) {
  MessageBox::setResponder([onOutcome](const MessageBox::Request& request) {
    switch (request.buttons) {
      case MessageBox::Buttons::OkCancel:
        return MessageBox::Answer::Ok;
      case MessageBox::Buttons::YesNo:
        onOutcome(true);
        return MessageBox::Answer::Yes;
      case MessageBox::Buttons::Ok:
        break;
    }
    std::fprintf(stderr, "message box: %s\n", qPrintable(request.text));
    onOutcome(false);
    return MessageBox::Answer::Ok;
  });
}

}  // namespace SendRig
