// One complete send through the program's transmission code (send command,
// socket control, SMTP dialogue, close handling) against a raw-socket
// client that makes the same round trips to the same server: greeting,
// RSET, HELO, MAIL FROM, RCPT TO, DATA, the mail text, QUIT, and the wait
// for the server's close. The two alternate, so drift in the machine's
// load falls on both alike.
//
//   bench_send <port> [sends] [program|raw]
//
// Prints, for each client, the median, the fastest and the 90th percentile
// of the wall time of one send and the median CPU time this process spent
// on it:
//
//   send program median_us=... min_us=... p90_us=... cpu_median_us=...
//   send raw     median_us=... ...
//
// A third argument runs one client alone (for perf, strace or callgrind).

#include "cp932.h"
#include "mail_text.h"
#include "mail_transmission.h"
#include "send_boxes.h"
#include "reply_reader.h"
#include "send_rig.h"
#include "tcp_socket_control.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long cpuMicroseconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

struct Sample {
  long long wallUs;
  long long cpuUs;
};

// ------------------------------------------------------------ the program

// The send button's handler runs as a click would run it; it only starts the
// connection, and the loop then runs until the box that reports the outcome.
bool programSend(SendBoxes& sendBoxes, QEventLoop& loop, bool& completed) {
  completed = false;
  sendBoxes.send(SendRig::kTo, SendRig::kSubject, SendRig::body());
  loop.exec();
  return completed;
}

// ------------------------------------------------------------- raw client

class RawClient {
 public:
  RawClient(std::uint16_t port, QByteArray mailText) : port_(port), mailText_(std::move(mailText)) {
    helo_ = "HELO " + MailText::heloDomain().toLatin1() + "\r\n";
    from_ = "MAIL FROM:<" + SendRig::kFrom.toLatin1() + ">\r\n";
    to_ = "RCPT TO:<" + SendRig::kTo.toLatin1() + ">\r\n";
  }

  bool send() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              reply("220") && command("RSET\r\n", "250") && command(helo_, "250") &&
              command(from_, "250") && command(to_, "250") && command("DATA\r\n", "354") &&
              command(mailText_, "250") && command("QUIT\r\n", "221");
    if (ok) {
      // The send is over when the server has closed.
      char byte;
      ok = ::recv(fd_, &byte, 1, 0) == 0;
    }
    ::close(fd_);
    return ok;
  }

 private:
  bool command(const QByteArray& line, const char* expected) {
    qsizetype sent = 0;
    while (sent < line.size()) {
      const ssize_t n = ::send(fd_, line.constData() + sent, size_t(line.size() - sent), MSG_NOSIGNAL);
      if (n <= 0) return false;
      sent += n;
    }
    return reply(expected);
  }

  // Reads one whole reply (the last line without "-" after its code).
  bool reply(const char* expected) {
    buffer_.clear();
    char chunk[4096];
    while (!ReplyReader::endsWithWholeReply(buffer_)) {
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      buffer_.append(chunk, n);
    }
    return buffer_.startsWith(expected);
  }

  std::uint16_t port_;
  QByteArray mailText_;
  QByteArray helo_, from_, to_;
  QByteArray buffer_;
  int fd_ = -1;
};

// The same mail text the program sends after DATA (its Date line differs
// only in the clock's seconds).
QByteArray rawMailText() {
  QString message = MailText::dateLine() + MailText::fromLine(SendRig::kFrom) + MailText::toLine(SendRig::kTo) +
                    MailText::XMailerLine() + MailText::subjectLine(SendRig::kSubject) + QStringLiteral("\r\n") +
                    SendRig::body();
  return MailText::dataForWire(Cp932::fromUnicode(message));
}

void report(const char* name, std::vector<Sample> samples) {
  std::vector<long long> wall, cpu;
  for (const Sample& s : samples) {
    wall.push_back(s.wallUs);
    cpu.push_back(s.cpuUs);
  }
  std::sort(wall.begin(), wall.end());
  std::sort(cpu.begin(), cpu.end());
  const auto at = [](const std::vector<long long>& v, double q) { return v[size_t(q * double(v.size() - 1) + 0.5)]; };
  std::printf("send %s median_us=%lld min_us=%lld p90_us=%lld cpu_median_us=%lld n=%zu\n", name, at(wall, 0.5),
              wall.front(), at(wall, 0.9), at(cpu, 0.5), wall.size());
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_send <port> [sends]\n");
    return 2;
  }
  const auto port = static_cast<std::uint16_t>(std::atoi(argv[1]));
  const int sends = argc > 2 ? std::atoi(argv[2]) : 200;
  const std::string only = argc > 3 ? argv[3] : "";
  constexpr int kWarmUp = 5;

  const MailSettings settings = SendRig::serverAt(port);
  TcpSocketControl socket;
  MailTransmission transmission(socket);
  SendBoxes sendBoxes(transmission, settings, PasswordStore(SettingsFile::inUse(), Keyring()));
  QEventLoop loop;
  bool completed = false;
  // The loop ends once the handler that asked has returned.
  SendRig::answerBoxes([&](bool ok) {
    completed = ok;
    loop.quit();
  });
  RawClient raw(port, rawMailText());

  std::vector<Sample> programSamples, rawSamples;
  const auto measure = [](auto&& run, std::vector<Sample>* into) {
    const long long cpu0 = cpuMicroseconds();
    const auto t0 = Clock::now();
    const bool ok = run();
    const auto t1 = Clock::now();
    const long long cpu1 = cpuMicroseconds();
    if (!ok) {
      std::fprintf(stderr, "bench_send: a send failed\n");
      std::exit(1);
    }
    if (into)
      into->push_back({std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count(), cpu1 - cpu0});
  };
  const auto runProgram = [&] { return programSend(sendBoxes, loop, completed); };
  const auto runRaw = [&] { return raw.send(); };

  for (int i = 0; i < kWarmUp + sends; ++i) {
    const bool keep = i >= kWarmUp;
    // Alternate which goes first, so neither always follows the other.
    if (only == "program") {
      measure(runProgram, keep ? &programSamples : nullptr);
    } else if (only == "raw") {
      measure(runRaw, keep ? &rawSamples : nullptr);
    } else if (i % 2 == 0) {
      measure(runProgram, keep ? &programSamples : nullptr);
      measure(runRaw, keep ? &rawSamples : nullptr);
    } else {
      measure(runRaw, keep ? &rawSamples : nullptr);
      measure(runProgram, keep ? &programSamples : nullptr);
    }
  }
  if (!programSamples.empty()) report("program", programSamples);
  if (!rawSamples.empty()) report("raw", rawSamples);
  return 0;
}
