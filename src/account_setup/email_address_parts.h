#pragma once

#include <QString>

// The parts of a sender address the lookup uses, and the placeholders of
// the clientConfig format filled from them.
struct EmailAddressParts {
  QString address;    // as typed, blanks around it left out
  QString localPart;  // before the last "@"
  QString domain;     // after it, lower case, in its ASCII (IDNA) form

  // Empty when the address has no usable domain: then nothing is asked.
  static EmailAddressParts parse(const QString& text);
  bool isValid() const { return !domain.isEmpty(); }

  // %EMAILADDRESS%, %EMAILLOCALPART% and %EMAILDOMAIN% replaced.
  QString withPlaceholdersFilled(QString text) const;
};
