#pragma once

#include <QString>

// The desktop's keyring: the Secret Service that GNOME Keyring and KWallet
// provide on the session bus, reached through QtKeychain. Each call waits
// for its answer with the event loop running, since the keyring may show
// its own unlock prompt meanwhile. Secrets never go to any output.
namespace Keyring {

// A Secret Service is on the session bus, or the bus can start one.
bool serviceAnswers();

enum class Status {
  Ok,
  NotFound,  // the service answered: no such entry
  Failed,    // no service, a locked keyring the user did not open, …
};

struct Answer {
  Status status = Status::Failed;
  QString secret;  // read: the secret; the caller wipes it after use
  QString error;   // Failed: the keyring's own words, for the user
};

// Entries are named by a service (which program, which installation) and
// a key within it.
Answer read(const QString& service, const QString& key);
Answer write(const QString& service, const QString& key, const QString& secret);
Answer remove(const QString& service, const QString& key);

// From now on a read waits at most this many seconds for the keyring's
// answer, then fails (0, the start: as long as it takes, as a person
// unlocking the keyring may need). A command that no one watches sets one:
// a session bus that accepts the call and never answers must not hold it.
void limitReadWait(int seconds);

// Programs of the build that do not live beside the module (the tests) name
// it here before the first call; the same checks apply to it.
void useModuleFileForTesting(const QString& path);

}  // namespace Keyring
