#pragma once

#include <QString>
#include <utility>

// The desktop's keyring: the Secret Service that GNOME Keyring and KWallet
// provide on the session bus, reached through QtKeychain in a module of its
// own. Each call waits for its answer with the event loop running, since
// the keyring may show its own unlock prompt meanwhile. Secrets never go
// to any output.
class Keyring {
 public:
  enum class Status {
    Ok,
    NotFound,  // the service answered: no such entry
    NoModule,  // the keyring module could not be loaded
    Failed,    // no service, a locked keyring the user did not open, …
  };

  struct Answer {
    Status status = Status::Failed;
    QString secret;  // read: the secret; the caller wipes it after use
    QString error;   // Failed: the keyring's own words
  };

  // Through the program's own module: beside the program, or in the
  // library folder of an installed program (<prefix>/lib/talvenor beside
  // <prefix>/bin).
  Keyring() = default;
  // Through the module in this file (a test program of the build, which
  // does not live beside it); the same checks apply to it.
  explicit Keyring(QString moduleFile) : moduleFile_(std::move(moduleFile)) {}

  // From now on a read waits at most this many seconds for the keyring's
  // answer, then fails (0, the start: as long as it takes, as a person
  // unlocking the keyring may need). A command that no one watches sets one:
  // a session bus that accepts the call and never answers must not hold it.
  void limitReadWait(int seconds) { readWaitSeconds_ = seconds; }

  // A Secret Service is on the session bus, or the bus can start one.
  bool serviceAnswers() const;

  // Entries are named by a service (which program, which installation)
  // and a key within it.
  Answer read(const QString& service, const QString& key) const;
  Answer write(const QString& service, const QString& key, const QString& secret) const;
  Answer remove(const QString& service, const QString& key) const;

 private:
  template <typename Function>
  Function lookUp(const char* name) const;

  QString moduleFile_;  // empty: the program's own
  int readWaitSeconds_ = 0;
};
