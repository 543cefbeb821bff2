#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

// Keeps one running instance per executable and user. The first instance
// holds a lock file and listens on a local socket; a later start finds the
// lock taken, asks the first instance to come to the front and ends. A lock
// left by a crashed instance is stale (its process is gone) and is taken over.
class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // key: names the lock and the socket; instanceKeyForExecutable() in production.
  explicit SingleInstance(const QString& key, QObject* parent = nullptr);
  ~SingleInstance() override;

  // True when this is the only running instance (the lock is ours).
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

  QString key_;
  std::unique_ptr<QLockFile> lock_;
  std::unique_ptr<QLocalServer> server_;
  bool isFirst_ = false;
};

// Brings the window the user last worked in (a modal window while one is
// open, otherwise the main window) to the front, restored if minimised.
void raiseLastActiveWindow(class QWidget* mainWindow);
