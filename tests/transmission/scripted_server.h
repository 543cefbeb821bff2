#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <functional>

class QTcpSocket;

// A mail server that plays a script, one row at a time, on 127.0.0.1 and a
// free port. Rows (texts cross in CP932, lines end with CR LF):
//   "S: text"   send text and CR LF
//   "P: text"   send text without a line break (part of a reply)
//   "B: hex"    send these bytes as they are (NUL, invalid Shift-JIS...)
//   "W:"        wait until the client has received every byte sent on this
//               connection (so that the next row arrives on its own)
//   "D:"        wait until the client has taken the replies sent since its
//               last command (a further bytesArrived was delivered)
//   "C: text"   the client must send exactly this line
//   "C~ regex"  the client must send a line that matches
//   "X:"        close the connection (FIN); later rows serve the next one
//   "R:"        reset the connection (RST)
//   "A:"        wait until the client gives the connection up (closes it
//               or opens the next one)
//   "K: text"   keep sending text and CR LF, about 300 times a second,
//               until the client gives the connection up; what the client
//               sends meanwhile is not checked
// The first row that does not hold stops the script and is reported by
// failure(); finished() tells when every row was played and the client has
// closed its side.
class ScriptedServer : public QObject {
  Q_OBJECT

 public:
  explicit ScriptedServer(QStringList script, QObject* parent = nullptr);
  ~ScriptedServer() override;

  quint16 port() const { return server_.serverPort(); }

  // How many bytes the client has received on its connection (for "W:").
  std::function<qsizetype()> clientReceived;
  // How many bytesArrived signals the client has delivered (for "D:").
  std::function<int()> clientArrivals;

  // Every row played, no connection open and no client line left over.
  bool finished() const;
  QString failure() const { return failure_; }
  // Every byte the client sent, over all connections.
  QByteArray received() const { return received_; }
  int connections() const { return connections_; }
  // Rows left, for a readable failure message.
  QStringList remaining() const { return script_.mid(next_); }

 private:
  void onNewConnection();
  void onReadyRead(QTcpSocket* socket);
  void onDisconnected(QTcpSocket* socket);
  void play();
  void pollLater();
  bool takeLine(QByteArray& line);
  void fail(const QString& why);

  QTcpServer server_;
  QStringList script_;
  qsizetype next_ = 0;
  QTcpSocket* peer_ = nullptr;  // the connection the script plays on
  int openConnections_ = 0;
  int connections_ = 0;
  QByteArray pending_;  // client bytes not yet matched to a "C" row
  QByteArray received_;
  qsizetype sentOnConnection_ = 0;
  int arrivalsAtCommand_ = 0;
  bool keepPosted_ = false;  // the next line of a "K:" row is due
  QString failure_;
};
