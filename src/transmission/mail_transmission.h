#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

class SocketControl;

// The main window's share of sending: it owns the dialogue state and the
// mail text, routes the socket's events to the SMTP or POP step, and
// reports the outcome through message boxes. No widget lives here; the
// window hands in the texts it shows and gets called back to clear them.
class MailTransmission : public QObject {
  Q_OBJECT

 public:
  // The socket control must outlive this object.
  explicit MailTransmission(SocketControl& winsock, QObject* parent = nullptr);

  SocketControl& Winsock() { return winsock_; }

  // The send button: checks, confirmation, capture of the texts, connect.
  void CmdMail_Click(const QString& cmbToText, const QString& subjectText, const QString& bodyText);

  // The settings window's POP test, after it has set gPBSMTP, gPopTest,
  // gSmtpPhase and the POP values: closes any open connection, resets the
  // state and connects to the POP server.
  void StartPopTest();

  // Dialogue steps, one per arrival of data.
  void SmtpStep();
  void mtPBSMTP();

  // Socket events.
  void Winsock_Connect();
  void Winsock_DataArrival(std::int32_t bytesTotal);
  void Winsock_Close();
  void Winsock_Error(std::int16_t number, const QString& description);

  // Called on a Yes to "clear subject and body": the window empties its
  // boxes (their change handling runs as for any edit).
  std::function<void()> clearSubjectBox;
  std::function<void()> clearBodyBox;

  // Form-level state of the main window's sending.
  QString mMailTo;   // recipient text
  QString mSubject;  // subject, line breaks removed
  QString mBody;     // body as typed
  QString mReply;    // the server's last text
  std::int16_t mState = 0;
  QString mMessage;  // the mail text being built

 private:
  SocketControl& winsock_;
};
