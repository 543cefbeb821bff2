#include "single_instance.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QThread>
#include <QWidget>

#include <optional>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The transcript's category: what it says reaches the user's terminal
// unless switched off.
Q_LOGGING_CATEGORY(lcTranscript, "talvenor.transcript", QtWarningMsg)
const char* const kUnguarded = "Another instance of this program may run beside this one:";

const QByteArray kRaiseRequest = QByteArrayLiteral("raise\n");

// The user id of the process at the other end of a local connection.
std::optional<uid_t> peerUser(qintptr descriptor) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return std::nullopt;
  return credentials.uid;
}

// Someone: a process of another user, or one that lets no connection in.
enum class Holder { Nobody, ThisUser, Someone };

// Who listens on a local socket name, abstract or a file.
Holder holderOf(const QString& name, bool abstract) {
  QLocalSocket socket;
  if (abstract) socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(name);
  if (!socket.waitForConnected(2000)) {
    const auto error = socket.error();
    const bool absent = error == QLocalSocket::ConnectionRefusedError || error == QLocalSocket::ServerNotFoundError;
    return absent ? Holder::Nobody : Holder::Someone;
  }
  const bool ours = peerUser(socket.socketDescriptor()) == ::getuid();
  socket.disconnectFromServer();
  return ours ? Holder::ThisUser : Holder::Someone;
}

// A directory of ours, not a link, that no one else may enter or list.
bool isPrivateFolder(const QString& path) {
  struct stat info {};
  if (::lstat(QFile::encodeName(path).constData(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

// Where the socket file goes; empty when no such folder can be had. After
// the runtime folder, our own folder under the temporary folder; when
// someone else took that name first (a link, a folder of theirs or open to
// others), our own folder in the user's cache, which no one else can take.
// Every start looks in the same order, so all find the same folder.
QString privateFolder(bool create) {
  // Without XDG_RUNTIME_DIR Qt only guesses a folder under the temporary
  // folder, warning on every call; our own folder there serves as well.
  if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && isPrivateFolder(runtime)) return runtime;
  }
  const QString name = QStringLiteral("talvenor-%1").arg(::geteuid());
  QStringList candidates{QDir::tempPath() + QLatin1Char('/') + name};
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  if (!cache.isEmpty()) candidates << cache + QLatin1Char('/') + name;
  for (const QString& own : candidates) {
    if (create) {
      QDir().mkpath(QFileInfo(own).path());
      // A folder of that name made by someone else fails the check below.
      ::mkdir(QFile::encodeName(own).constData(), 0700);
    }
    if (isPrivateFolder(own)) return own;
  }
  return QString();
}

// Held while a start looks at the socket file and listens on it, so two
// starts at the same moment cannot both take a stale file for their own.
class FolderLock {
 public:
  explicit FolderLock(const QString& path)
      : descriptor_(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)) {
    if (descriptor_ >= 0) ::flock(descriptor_, LOCK_EX);
  }
  ~FolderLock() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int descriptor_;
};

}  // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent), key_(key), firstName_(key) {
  auto server = std::make_unique<QLocalServer>();
  server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
  if (server->listen(key_)) {
    // An instance that started while another user held the name listens on
    // its file; the name coming free since does not make this start first.
    const QString folder = privateFolder(false);
    const QString file = folder + QLatin1Char('/') + key_;
    if (!folder.isEmpty() && holderOf(file, false) == Holder::ThisUser) {
      firstName_ = file;
      firstAbstract_ = false;
      return;
    }
    server_ = std::move(server);
    isFirst_ = true;
    serveRequests();
    return;
  }
  if (server->serverError() == QAbstractSocket::AddressInUseError) {
    Holder holder = holderOf(key_, true);
    // The holder may have bound the name and be a moment from listening.
    for (int attempt = 0; holder == Holder::Nobody && attempt < 3; ++attempt) {
      QThread::msleep(20);
      holder = holderOf(key_, true);
    }
    if (holder == Holder::ThisUser) return;
  }
  // Anyone may bind an abstract name: held by another user, or not to be had
  // at all, it gives way to a socket file only this user can reach.
  guardInPrivateFolder();
}

SingleInstance::~SingleInstance() {
  if (server_) server_->close();
}

void SingleInstance::guardInPrivateFolder() {
  // Without a private folder there is no guard, and no reason to refuse;
  // but the user hears of it.
  isFirst_ = true;
  const QString folder = privateFolder(true);
  if (folder.isEmpty()) {
    qCWarning(lcTranscript).noquote() << kUnguarded << "no private folder for the instance guard";
    return;
  }
  const QString file = folder + QLatin1Char('/') + key_;
  FolderLock lock(file + QStringLiteral(".lock"));
  if (holderOf(file, false) == Holder::ThisUser) {
    isFirst_ = false;
    firstName_ = file;
    firstAbstract_ = false;
    return;
  }
  // Nothing answers: the file is left from an instance that crashed.
  QLocalServer::removeServer(file);
  server_ = std::make_unique<QLocalServer>();
  if (!server_->listen(file)) {
    qCWarning(lcTranscript).noquote() << kUnguarded << "cannot listen on" << file << server_->errorString();
    server_.reset();
    return;
  }
  serveRequests();
}

void SingleInstance::serveRequests() {
  connect(server_.get(), &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      // Requests of other users' programs are not ours to follow.
      if (peerUser(socket->socketDescriptor()) != ::getuid()) {
        socket->abort();
        socket->deleteLater();
        continue;
      }
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->readAll().contains(kRaiseRequest)) return;
        socket->disconnectFromServer();
        emit raiseRequested();
      });
    }
  });
}

bool SingleInstance::askFirstToRaise(int timeoutMs) const {
  QLocalSocket socket;
  if (firstAbstract_) socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer(firstName_);
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(kRaiseRequest);
  const bool written = socket.waitForBytesWritten(timeoutMs);
  socket.disconnectFromServer();
  return written;
}

QString SingleInstance::instanceKeyForExecutable() {
  return instanceKeyFor(QCoreApplication::applicationFilePath());
}

QString SingleInstance::instanceKeyFor(const QString& executablePath) {
  const QString executable = QFileInfo(executablePath).canonicalFilePath();
  const QByteArray digest = QCryptographicHash::hash(executable.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
  return QStringLiteral("talvenor-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

void raiseLastActiveWindow(QWidget* mainWindow) {
  QWidget* target = QApplication::activeModalWidget();
  if (!target) target = mainWindow;
  if (!target) return;
  // A modal window's owner comes back with it.
  for (QWidget* window : {mainWindow, target}) {
    if (window && window->isMinimized()) window->showNormal();
  }
  target->show();
  target->raise();
  target->activateWindow();
}
