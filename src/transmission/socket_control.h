#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

// The operations and events the mail dialogues rely on: one TCP client
// connection at a time, texts crossing it in the ANSI code page, and four
// events delivered one at a time on the user-interface thread.
class SocketControl : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  ~SocketControl() override = default;

  // Returns at once; the outcome arrives later as an event.
  virtual void Connect(const QString& host, std::uint16_t port) = 0;
  // Releases the connection; raises no close event, and nothing more of
  // that connection is delivered.
  virtual void Close() = 0;
  // 0 when no connection is open or pending.
  virtual int State() const = 0;
  // The text goes out whole and in order, in the ANSI code page.
  virtual void SendData(const QString& text) = 0;
  // All data received and not yet read, replacing the variable's content.
  virtual void GetData(QString& data) = 0;

 signals:
  void connectEvent();
  void dataArrivalEvent(std::int32_t bytesTotal);
  void closeEvent();
  void errorEvent(std::int16_t number, const QString& description);
};
