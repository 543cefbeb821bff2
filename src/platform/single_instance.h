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
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // key: names the socket; instanceKeyForExecutable() in production.
  explicit SingleInstance(const QString& key, QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when no other instance of this user runs (the name is ours, or
  // held by a program of another user, who cannot stand in for us).
  bool isFirst() const { return isFirst_; }

  // Second instance: asks the first to bring its window forward. Returns
  // whether the request was delivered; nothing is shown either way.
  bool askFirstToRaise(int timeoutMs = 2000) const;

  // First instance: called when a later start asks to come forward.
  std::function<void()> onRaiseRequest;

  // Derived from the canonical path of the running executable and the user.
  static QString instanceKeyForExecutable();
  static QString instanceKeyFor(const QString& executablePath);

 private:
  void serveRequests();
  bool heldByThisUser() const;

  QString key_;
  std::unique_ptr<QLocalServer> server_;
  bool isFirst_ = false;
};

// Brings the window the user last worked in (a modal window while one is
// open, otherwise the main window) to the front, restored if minimised.
void raiseLastActiveWindow(class QWidget* mainWindow);
