#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

// Keeps one running instance per executable and user. The first instance
// listens on a local socket with an abstract name; a later start finds the
// name taken by a process of the same user, asks that instance to come to
// the front and ends. The system frees an abstract name the moment its
// process ends, so a crashed instance never blocks the next start.
//
// Any local user may bind that name first. When a process of another user
// holds it, the guard is a socket file of the same name in a folder only
// this user can enter (the runtime folder, or a private folder of our own
// under the temporary folder, or in the user's cache when someone took
// that name first); a file left by a crash is replaced. Only when no such
// folder can be had does the start run unguarded, with a warning in the
// transcript's logging category.
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // key: names the socket; instanceKeyForExecutable() in production.
  explicit SingleInstance(const QString& key, QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when no other instance of this user runs.
  bool isFirst() const { return isFirst_; }

  // Second instance: asks the first to bring its window forward. Returns
  // whether the request was delivered; nothing is shown either way.
  bool askFirstToRaise(int timeoutMs = 2000) const;


  // Derived from the canonical path of the running executable and the user.
  static QString instanceKeyForExecutable();
  static QString instanceKeyFor(const QString& executablePath);

 signals:
  // First instance: a later start asks the window to come forward.
  void raiseRequested();

 private:
  void serveRequests();
  void guardInPrivateFolder();

  QString key_;
  // Where the first instance listens, when it is another.
  QString firstName_;
  bool firstAbstract_ = true;
  std::unique_ptr<QLocalServer> server_;
  bool isFirst_ = false;
};

// Brings the window the user last worked in (a modal window while one is
// open, otherwise the main window) to the front, restored if minimised.
void raiseLastActiveWindow(class QWidget* mainWindow);
