// The TLS module: OpenSSL on a connected, non-blocking descriptor, behind
// the plain C table of tls_module_api.h. No Qt in here; the stream that
// uses it (OpenSslStream) keeps the event loop's side.
#include "tls_module_api.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

struct TalvenorTlsSession {
  SSL* ssl = nullptr;
  int lastError = SSL_ERROR_NONE;  // of the failed handshake
  int lastErrno = 0;
  unsigned long queued = 0;  // OpenSSL's newest error then
};

namespace {

// The system's trust store as OpenSSL's defaults name it, the folder of
// hashed names read on demand (one certificate per handshake, as Qt does)
// rather than the whole bundle parsed up front; the bundle only when the
// environment names one (SSL_CERT_FILE) or there is no such folder.
bool trustSystemStore(SSL_CTX* context) {
  const char* folderVariable = std::getenv(X509_get_default_cert_dir_env());
  const char* folder = folderVariable != nullptr ? folderVariable : X509_get_default_cert_dir();
  const char* fileVariable = std::getenv(X509_get_default_cert_file_env());
  struct stat info {};
  const bool folderThere = ::stat(folder, &info) == 0 && S_ISDIR(info.st_mode);
  if (folderThere && SSL_CTX_load_verify_dir(context, folder) != 1) return false;
  if (fileVariable != nullptr || !folderThere) {
    const char* file = fileVariable != nullptr ? fileVariable : X509_get_default_cert_file();
    // A bundle that is not there leaves the folder to answer, as OpenSSL's
    // own defaults would.
    if (::access(file, R_OK) == 0 && SSL_CTX_load_verify_file(context, file) != 1) return false;
  }
  ERR_clear_error();
  return true;
}

// One context for the process: OpenSSL's set-up and its configuration file
// are read once. TLS 1.2 or later, the peer verified against the system's
// trust store.
SSL_CTX* makeContext() {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  if (context == nullptr) return nullptr;
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  // A server that closes without close_notify has ended the dialogue as a
  // plain close would (replies are framed by their lines, not by the end).
  SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (!trustSystemStore(context)) {
    SSL_CTX_free(context);
    return nullptr;
  }
  return context;
}

SSL_CTX* sharedContext() {
  static SSL_CTX* const context = makeContext();
  return context;
}

bool prepare() { return sharedContext() != nullptr; }

TalvenorTlsSession* open(int descriptor, const char* server, bool isAddress) {
  SSL_CTX* context = sharedContext();
  if (context == nullptr) return nullptr;
  auto* session = new TalvenorTlsSession;
  session->ssl = SSL_new(context);
  bool ready = session->ssl != nullptr && SSL_set_fd(session->ssl, descriptor) == 1;
  if (ready && isAddress) {
    ready = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(session->ssl), server) == 1;
  } else if (ready) {
    // The name for the server to choose its certificate by, and for
    // OpenSSL's own check, "*" only as a whole label.
    SSL_set_hostflags(session->ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    ready = SSL_set_tlsext_host_name(session->ssl, server) == 1 && SSL_set1_host(session->ssl, server) == 1;
  }
  if (!ready) {
    SSL_free(session->ssl);
    delete session;
    return nullptr;
  }
  return session;
}

int handshake(TalvenorTlsSession* session) {
  ERR_clear_error();
  errno = 0;
  const int result = SSL_connect(session->ssl);
  if (result == 1) return kTlsDone;
  const int error = SSL_get_error(session->ssl, result);
  if (error == SSL_ERROR_WANT_READ) return kTlsWantRead;
  if (error == SSL_ERROR_WANT_WRITE) return kTlsWantWrite;
  session->lastError = error;
  session->lastErrno = errno;
  session->queued = ERR_peek_last_error();
  return kTlsFailed;
}

// One SSL_read or SSL_write (again after an interruption) as the table's
// result.
template <typename Transfer>
int transfer(TalvenorTlsSession* session, Transfer call, int* done, int* errnum) {
  *done = 0;
  *errnum = 0;
  for (;;) {
    ERR_clear_error();
    errno = 0;
    const int n = call();
    if (n > 0) {
      *done = n;
      return kTlsDone;
    }
    const int error = SSL_get_error(session->ssl, n);
    if (error == SSL_ERROR_WANT_READ) return kTlsWantRead;
    if (error == SSL_ERROR_WANT_WRITE) return kTlsWantWrite;
    if (error == SSL_ERROR_ZERO_RETURN) return kTlsClosed;
    if (error == SSL_ERROR_SYSCALL && errno == EINTR) continue;
    // A reset that only answered bytes sent after the server had closed
    // its side is still a close by the server.
    if (error == SSL_ERROR_SYSCALL && errno == EPIPE) return kTlsClosed;
    *errnum = error == SSL_ERROR_SYSCALL && errno != 0 ? errno : ECONNRESET;
    return kTlsFailed;
  }
}

int read(TalvenorTlsSession* session, char* into, int size, int* done, int* errnum) {
  return transfer(session, [&] { return SSL_read(session->ssl, into, size); }, done, errnum);
}

int write(TalvenorTlsSession* session, const char* from, int size, int* done, int* errnum) {
  return transfer(session, [&] { return SSL_write(session->ssl, from, size); }, done, errnum);
}

bool hasPending(TalvenorTlsSession* session) { return SSL_has_pending(session->ssl) == 1; }

int failure(TalvenorTlsSession* session, char* reason, int size) {
  const auto say = [reason, size](const char* text) {
    if (size > 0) std::snprintf(reason, size_t(size), "%s", text);
  };
  const long verification = SSL_get_verify_result(session->ssl);
  if (verification != X509_V_OK) {
    say(X509_verify_cert_error_string(verification));
    const bool otherName =
        verification == X509_V_ERR_HOSTNAME_MISMATCH || verification == X509_V_ERR_IP_ADDRESS_MISMATCH;
    return otherName ? kTlsCertificateOtherName : kTlsCertificateNotVerified;
  }
  if (session->queued != 0) {
    char text[256];
    ERR_error_string_n(session->queued, text, sizeof text);
    say(text);
  } else if (session->lastError == SSL_ERROR_SYSCALL && session->lastErrno != 0) {
    say(std::strerror(session->lastErrno));
  } else {
    say("The remote host closed the connection");
  }
  return kTlsHandshakeFailed;
}

void reportText(TalvenorTlsEach each, void* context, int fact, const ASN1_STRING* text) {
  unsigned char* utf8 = nullptr;
  const int length = ASN1_STRING_to_UTF8(&utf8, text);
  if (length < 0) return;
  each(context, fact, reinterpret_cast<const char*>(utf8), length);
  OPENSSL_free(utf8);
}

void reportCommonNames(X509_NAME* name, int fact, TalvenorTlsEach each, void* context) {
  for (int i = -1; (i = X509_NAME_get_index_by_NID(name, NID_commonName, i)) >= 0;)
    reportText(each, context, fact, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, i)));
}

void describe(TalvenorTlsSession* session, TalvenorTlsEach each, void* context) {
  const char* version = SSL_get_version(session->ssl);
  each(context, kTlsVersion, version, int(std::strlen(version)));
  if (const SSL_CIPHER* cipher = SSL_get_current_cipher(session->ssl)) {
    const char* name = SSL_CIPHER_get_name(cipher);
    each(context, kTlsCipher, name, int(std::strlen(name)));
  }
  X509* certificate = SSL_get0_peer_certificate(session->ssl);
  if (certificate == nullptr) return;
  auto* alternatives =
      static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
  for (int i = 0; i < sk_GENERAL_NAME_num(alternatives); ++i) {
    const GENERAL_NAME* entry = sk_GENERAL_NAME_value(alternatives, i);
    if (entry->type == GEN_DNS) {
      // Exactly the bytes presented: an embedded NUL must not shorten it.
      each(context, kTlsDnsName, reinterpret_cast<const char*>(ASN1_STRING_get0_data(entry->d.dNSName)),
           ASN1_STRING_length(entry->d.dNSName));
    } else if (entry->type == GEN_IPADD) {
      // Written out ("127.0.0.1", "::1"); other lengths are left out.
      const int length = ASN1_STRING_length(entry->d.iPAddress);
      char text[INET6_ADDRSTRLEN];
      if ((length == 4 || length == 16) &&
          inet_ntop(length == 4 ? AF_INET : AF_INET6, ASN1_STRING_get0_data(entry->d.iPAddress), text, sizeof text))
        each(context, kTlsAddress, text, int(std::strlen(text)));
    } else if (entry->type == GEN_EMAIL) {
      each(context, kTlsOtherAlternative, "", 0);
    }
  }
  GENERAL_NAMES_free(alternatives);
  reportCommonNames(X509_get_subject_name(certificate), kTlsCommonName, each, context);
  reportCommonNames(X509_get_issuer_name(certificate), kTlsIssuerName, each, context);
}

void close(TalvenorTlsSession* session, bool notify) {
  if (notify) SSL_shutdown(session->ssl);
  SSL_free(session->ssl);
  delete session;
}

const TalvenorTlsApi kApi{prepare, open, handshake, read, write, hasPending, failure, describe, close};

}  // namespace

extern "C" __attribute__((visibility("default"))) const TalvenorTlsApi* talvenor_tls_api() { return &kApi; }
