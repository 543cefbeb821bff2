#pragma once

#include "encrypted_stream.h"

#include <QByteArray>
#include <QString>

class QSocketNotifier;
struct TalvenorTlsApi;
struct TalvenorTlsSession;

// A connected TCP descriptor made an encrypted stream by OpenSSL itself
// (through the TLS module, talvenor_tls.so), for talvenor-send: a command
// pays at every run for what the window pays once, so it goes without Qt's
// TLS plugin and its set-up.
//
// The checks are the window's: TLS 1.2 or later, the server's certificate
// verified against the system's trust store (OpenSSL's default places, so
// SSL_CERT_FILE and SSL_CERT_DIR as well) for the server name the user gave,
// OpenSSL's name check with partial wildcards refused, then CertificateName's
// stricter rule. Decrypted bytes are read only while the receiver has room,
// so a flooding server is held back by TCP (OpenSSL holds one record at
// most).
//
// OpenSSL writes to the socket with write(): the process must ignore
// SIGPIPE (talvenor-send does), or a server gone away would end it.
class OpenSslStream : public EncryptedStream {
  Q_OBJECT

 public:
  OpenSslStream(int descriptor, const QString& serverName, QObject* parent = nullptr);
  ~OpenSslStream() override;

  // Loads the TLS module (and OpenSSL with it) ahead of the first
  // handshake. Best where no other thread starts meanwhile: the loader's
  // lock, held for the whole load, keeps threads from starting.
  static void loadModule();
  // Then sets OpenSSL up: its configuration and the trust store's places.
  // Both are safe on any thread, once or many times.
  static void prepare();
  // Test programs live outside the folder of the program and its module:
  // they name the module file before the first use.
  static void useModuleFileForTesting(const QString& path);
  // The maker a socket control is given to encrypt through this stream.
  static EncryptedStream* make(int descriptor, const QString& serverName, QObject* parent);

  void send(const QByteArray& bytes) override;
  void setReadLimit(qsizetype bytes) override;
  void release() override;

 private:
  // What the last OpenSSL call waits for before it can go on.
  enum class Waiting { Nothing, Readable, Writable };

  void start();
  void onReadable();
  void onWritable();
  void handshake();
  void verified();
  void fail(std::int16_t number, const QString& reason);
  void readSome();
  void writeSome();
  void postReadPass();
  void end(int errnum);
  void rearm();
  void closeConnection();

  int descriptor_;
  QString serverName_;
  const TalvenorTlsApi* tls_;
  TalvenorTlsSession* session_ = nullptr;
  QSocketNotifier* readable_;
  QSocketNotifier* writable_;
  QByteArray unsent_;
  qsizetype room_ = 0;  // what the receiver still takes
  Waiting handshakeWaits_ = Waiting::Nothing;
  Waiting writeWaits_ = Waiting::Nothing;
  bool encrypted_ = false;
  bool failed_ = false;
  bool ended_ = false;
  bool released_ = false;
  bool readPassPosted_ = false;
};
