#include "host/instance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QThread>
#include <QtEndian>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/sysutils.h"

namespace {
constexpr int kMaxMessage = 16 * 1024 * 1024;

// A folder that is ours alone: a real directory (not a link), owned by this
// user, with no access for anybody else.
bool PrivateFolder(const QByteArray& path) {
  ::mkdir(path.constData(), 0700);
  struct stat st {};
  if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return false;
  if ((st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0) return false;
  return true;
}
}  // namespace

QString TKWInstance::Folder() {
  const QByteArray uid = QByteArray::number(::getuid());
  // The session's runtime folder when it has one of the usual kind; the
  // environment is not asked, since two starts may have been given
  // different ones.
  const QByteArray run = "/run/user/" + uid;
  struct stat st {};
  if (::lstat(run.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
      (st.st_mode & 077) == 0 && PrivateFolder(run + "/varoka"))
    return QString::fromLocal8Bit(run + "/varoka");
  const QByteArray tmp = "/tmp/varoka-" + uid;
  if (PrivateFolder(tmp)) return QString::fromLocal8Bit(tmp);
  return {};
}

TKWInstance::TKWInstance(const QString& key) {
  QString user = QString::fromStdString(LoggedOnUserName());
  // KW_INSTANCE_KEY keeps test runs apart from a program the user has open.
  QString base = key;
  if (base.isEmpty()) base = qEnvironmentVariable("KW_INSTANCE_KEY");
  if (base.isEmpty()) base = QStringLiteral("Varoka multiinstance blocker");
  QString name = base + "-" + (user.isEmpty() ? QStringLiteral("user") : user);
  name.replace(' ', '_').replace('/', '_');
  const QString dir = Folder();
  if (!dir.isEmpty()) {
    serverName_ = dir + "/" + name + ".sock";
    lockName_ = dir + "/" + name + ".lock";
  }
}

TKWInstance::~TKWInstance() = default;

bool TKWInstance::Acquire() {
  // Without a private folder there is nothing safe to share: run alone.
  if (lockName_.isEmpty()) return true;
  lock_ = std::make_unique<QLockFile>(lockName_);
  lock_->setStaleLockTime(0);
  if (!lock_->tryLock(0)) {
    // A lock whose owner died is taken over.
    if (!(lock_->removeStaleLockFile() && lock_->tryLock(0))) return false;
  }
  // Whatever socket is left in the folder belongs to a start that is gone.
  QLocalServer::removeServer(serverName_);
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &TKWInstance::onConnection);
  server_->listen(serverName_);
  return true;
}

bool TKWInstance::Forward(const QStringList& names, int timeoutMs) {
  if (serverName_.isEmpty()) return false;
  QByteArray msg = Encode(names);
  // The running instance may have taken the lock a moment ago and not yet
  // listen; try until the time is up.
  QElapsedTimer clock;
  clock.start();
  do {
    QLocalSocket sock;
    sock.connectToServer(serverName_);
    if (sock.waitForConnected(200)) {
      sock.write(msg);
      bool ok = sock.waitForBytesWritten(std::max(1000, timeoutMs - int(clock.elapsed())));
      sock.disconnectFromServer();
      if (sock.state() != QLocalSocket::UnconnectedState) sock.waitForDisconnected(1000);
      return ok;
    }
    QThread::msleep(100);
  } while (clock.elapsed() < timeoutMs);
  return false;
}

QByteArray TKWInstance::Encode(const QStringList& names) {
  QByteArray text = names.join("\r\n").toUtf8();
  text.append('\0');
  QByteArray out(8, '\0');
  qToLittleEndian<quint32>(kFileNameTag, out.data());
  qToLittleEndian<quint32>(quint32(text.size()), out.data() + 4);
  return out + text;
}

QStringList TKWInstance::Decode(const QByteArray& data) {
  if (data.size() < 8) return {};
  if (qFromLittleEndian<quint32>(data.constData()) != kFileNameTag) return {};
  quint32 size = qFromLittleEndian<quint32>(data.constData() + 4);
  if (size == 0 || size > quint32(data.size() - 8)) return {};
  QByteArray text = data.mid(8, int(size));
  int nul = text.indexOf('\0');
  if (nul >= 0) text.truncate(nul);
  QStringList names;
  for (const QString& s : QString::fromUtf8(text).split(QRegularExpression("\r\n|\n|\r")))
    if (!s.isEmpty()) names << s;
  return names;
}

void TKWInstance::onConnection() {
  while (QLocalSocket* sock = server_->nextPendingConnection()) {
    auto* buf = new QByteArray;
    connect(sock, &QLocalSocket::readyRead, this, [sock, buf] {
      buf->append(sock->readAll());
      if (buf->size() > kMaxMessage) sock->abort();
    });
    connect(sock, &QLocalSocket::disconnected, this, [this, sock, buf] {
      buf->append(sock->readAll());
      QStringList names = Decode(*buf);
      delete buf;
      sock->deleteLater();
      if (!names.isEmpty()) emit FilesReceived(names);
    });
  }
}
