#pragma once

// What the TLS module (talvenor_tls.so: OpenSSL on a connected descriptor)
// offers talvenor-send, as plain C: the command loads it only when its
// settings encrypt, so that a plain send never maps OpenSSL, and one that
// encrypts sets OpenSSL up on another thread while the connection is being
// made. OpenSslStream is its one user.
extern "C" {

struct TalvenorTlsSession;

// How a call left the connection.
enum TalvenorTlsResult : int {
  kTlsDone = 0,
  kTlsWantRead,   // call again once the descriptor is readable
  kTlsWantWrite,  // call again once the descriptor is writable
  kTlsClosed,     // the server ended the stream (close_notify or a plain close)
  kTlsFailed,     // see errnum, or failure() for a handshake
};

// What a failed handshake's reason is about.
enum TalvenorTlsFailure : int {
  kTlsCertificateNotVerified = 1,  // the chain, the dates, the trust store
  kTlsCertificateOtherName,    // verified, but for another name
  kTlsHandshakeFailed,         // anything else
};

// The pieces describe() reports, each as UTF-8.
enum TalvenorTlsFact : int {
  kTlsDnsName,           // a subjectAltName DNS entry
  kTlsAddress,           // a subjectAltName IP entry, written out
  kTlsOtherAlternative,  // a subjectAltName e-mail entry
  kTlsCommonName,        // a CN of the subject
  kTlsIssuerName,        // the issuer's CN
  kTlsVersion,           // "TLSv1.3"
  kTlsCipher,
};
using TalvenorTlsEach = void (*)(void* context, int fact, const char* utf8, int length);

struct TalvenorTlsApi {
  // Loads OpenSSL's configuration and the trust store's places; false when
  // no context could be made. Safe on any thread; the first call does it.
  bool (*prepare)();
  // A client session on the descriptor (which stays the caller's) for the
  // server's ASCII name or written-out address; nullptr when none could be
  // made (failure() is then not available: the caller says why).
  TalvenorTlsSession* (*open)(int descriptor, const char* server, bool isAddress);
  int (*handshake)(TalvenorTlsSession* session);
  // Reading and writing once encrypted: done bytes, or the wait, the end,
  // or a failure with its errno (ECONNRESET when the system gave none).
  int (*read)(TalvenorTlsSession* session, char* into, int size, int* done, int* errnum);
  int (*write)(TalvenorTlsSession* session, const char* from, int size, int* done, int* errnum);
  // Decrypted or undecrypted bytes held that no notifier will announce.
  bool (*hasPending)(TalvenorTlsSession* session);
  // Why the handshake failed, in English as OpenSSL words it.
  int (*failure)(TalvenorTlsSession* session, char* reason, int size);
  // The certificate's names and the session's facts.
  void (*describe)(TalvenorTlsSession* session, TalvenorTlsEach each, void* context);
  // Sends close_notify if the socket takes it now, then frees the session.
  void (*close)(TalvenorTlsSession* session, bool notify);
};

using TalvenorTlsApiFunction = const TalvenorTlsApi* (*)();
inline constexpr const char* kTalvenorTlsApiSymbol = "talvenor_tls_api";
inline constexpr const char* kTalvenorTlsModuleFileName = "talvenor_tls.so";
}
