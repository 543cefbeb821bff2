#pragma once

#include "socket_control.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <cstdint>
#include <deque>
#include <utility>

class TcpConnector;
class TcpStream;

// The main window's socket control: one TCP client connection (opened by a
// TcpConnector, carried by a TcpStream), with the operations and the four
// events the mail dialogues rely on.
//
// - Texts cross the socket in the ANSI code page (CP932) both ways.
// - Events are queued and delivered one at a time on the user-interface
//   thread: while a handler runs (also while a message box it opened is on
//   the screen) later events wait, in order.
// - DataArrival is raised only once the data received so far ends with a
//   line break and its last line is not the continuation line of a
//   multi-line reply ("250-..."), so one arrival is one whole reply.
// - A close by the server raises Close only; a reset raises Error 10054.
// - After the program's own Close nothing more of that connection is
//   delivered; the next Connect starts with a new socket.
// - Failures carry the Windows Sockets error numbers (11001 host not found,
//   11004 name without an address record, 10061 refused, 10060 timed out,
//   10049 address not available, 10054 reset, ...).
class Winsock : public SocketControl {
  Q_OBJECT

 public:
  // The values State() returns, as the Windows control numbers them.
  enum StateValue : int {
    sckClosed = 0,
    sckResolvingHost = 4,
    sckConnecting = 6,
    sckConnected = 7,
    sckClosing = 8,  // the server has closed; the program has not yet
    sckError = 9,
  };

  explicit Winsock(QObject* parent = nullptr);
  ~Winsock() override;

  void Connect(const QString& host, std::uint16_t port) override;
  void Close() override;
  int State() const override;
  void SendData(const QString& text) override;
  void GetData(QString& data) override;

  // Bytes received and not yet read.
  qsizetype BytesReceived() const { return received_.size(); }
  // Events waiting for delivery (they wait while a handler runs).
  qsizetype QueuedEventCount() const { return static_cast<qsizetype>(queue_.size()); }

  // True when the data ends with a line break and its last line does not
  // announce a further line of the same reply.
  static bool EndsWithCompleteReply(QByteArrayView data);

  // Tests run their servers on free ports: a connection asked for on port
  // 25 or 110 goes to the port mapped here instead. Empty in the program.
  static void setPortOverrideForTesting(const QHash<std::uint16_t, std::uint16_t>& ports);

 private:
  struct Event {
    enum class Kind { Connect, DataArrival, Close, Error };
    explicit Event(Kind k, std::int16_t n = 0, QString d = QString())
        : kind(k), number(n), description(std::move(d)) {}
    Kind kind;
    std::int16_t number;
    QString description;
  };

  void enqueue(Event event);
  void deliverEvents();
  void dropSocket();
  void raiseError(std::int16_t number, const QString& description);

  void onConnectorConnected(int descriptor);
  void onReceived(const QByteArray& bytes);
  void onEnded(int errnum);

  TcpConnector* connector_ = nullptr;  // while the connection is being opened
  TcpStream* stream_ = nullptr;        // once it stands
  int state_ = sckClosed;
  QByteArray received_;
  std::deque<Event> queue_;
  bool delivering_ = false;
  bool deliveryPosted_ = false;
  bool operating_ = false;  // inside Connect: events wait for the event loop
};
