#pragma once

#include <cstdint>

// The Windows Sockets error numbers the socket control reports; the mail
// dialogues choose their messages by them.
namespace WsaError {

constexpr std::int16_t WSAEACCES = 10013;
constexpr std::int16_t WSAEADDRNOTAVAIL = 10049;
constexpr std::int16_t WSAENETDOWN = 10050;
constexpr std::int16_t WSAECONNRESET = 10054;
constexpr std::int16_t WSAENOBUFS = 10055;
constexpr std::int16_t WSAETIMEDOUT = 10060;
constexpr std::int16_t WSAECONNREFUSED = 10061;
constexpr std::int16_t WSAEHOSTUNREACH = 10065;
constexpr std::int16_t WSAHOST_NOT_FOUND = 11001;
constexpr std::int16_t WSANO_DATA = 11004;

}  // namespace WsaError

// Failures of the encryption, numbered past the Windows Sockets range so
// that they never meet one of its numbers.
namespace TlsError {

constexpr std::int16_t kHandshakeFailed = 20001;      // no encrypted connection came about
constexpr std::int16_t kCertificateRejected = 20002;  // the server's certificate did not verify

}  // namespace TlsError
