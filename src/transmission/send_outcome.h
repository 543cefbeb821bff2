#pragma once

#include "keyring_trouble.h"

#include <QString>
#include <cstdint>

// How a send (or the settings window's POP test) went wrong, as the engine
// (or its caller fetching the passwords) reports it: what happened and the
// server's or the system's own words. The user's text is SendReport's.
struct SendFailure {
  enum class Kind {
    // Before any connection.
    ControlCharacterInSetting,  // setting: the value that holds it
    KeyringUnavailable,         // keyring: why
    // The SMTP dialogue and its set-up (STARTTLS, AUTH).
    SmtpRefused,         // serverText; addressRefused on a 550
    StartTlsNotOffered,
    StartTlsRefused,     // serverText
    AuthNotOffered,
    AuthNeedsTls,        // only password logins offered, not encrypted
    AuthAfterStartTls,   // the login is offered only after STARTTLS
    AuthFailed,          // serverText
    // The POP login.
    StlsRefused,         // serverText, empty when the handshake never came
    PopRefused,          // serverText
    // Either dialogue.
    ReplyTooLong,
    NoAnswer,            // tlsPort: a plain connection to 465 or 995, else 0
    ClosedEarly,         // serverText: the server's last text, may be empty
    SocketError,         // socketError (a Windows Sockets or TlsError number), detail
  };
  // The settings whose values go into command lines.
  enum class Setting { None, SmtpServer, SmtpUser, SmtpPassword, PopServer, PopUser, PopPassword };

  SendFailure() = default;  // for Qt's meta-type system (queued signals, tests)
  explicit SendFailure(Kind what) : kind(what) {}

  Kind kind = Kind::ClosedEarly;
  QString serverText;
  QString detail;  // the system's own words of a socket error
  KeyringTrouble keyring;
  Setting setting = Setting::None;
  std::int16_t socketError = 0;
  std::uint16_t tlsPort = 0;
  bool addressRefused = false;
};

// Where the dialogues report a failure, at the moment it happens (the
// connection is already given up where the dialogue gives it up).
class SendFailureSink {
 public:
  virtual void report(const SendFailure& failure) = 0;

 protected:
  ~SendFailureSink() = default;
};

// What the checks before a send found in the typed mail and the settings.
// Only TextUnmappable leaves the choice to the user; the others stop the
// send before the confirmation.
struct SendCheck {
  enum class Problem {
    None,
    NoRecipient,          // nothing typed: nothing to say
    InvalidRecipient,
    InvalidSender,
    ControlCharacterInSetting,  // setting
    RecipientUnmappable,  // lost: the characters Shift-JIS cannot hold
    SenderUnmappable,     // lost
    TextUnmappable,       // lost: they would go as "?" (the Shift_JIS mode)
  };
  Problem problem = Problem::None;
  QString recipient;  // blanks around it left out
  QString from;
  QString lost;
  SendFailure::Setting setting = SendFailure::Setting::None;
};
