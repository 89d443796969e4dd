// Single instance: the first start of the program per user holds a lock and
// listens on a local socket; later starts hand their arguments to it and end.
// Lock and socket live side by side in one private folder of the user's, so
// every start finds them whatever its environment says.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QStringList>
#include <memory>

// Tag of a file-name message between instances.
constexpr quint32 kFileNameTag = 0x11000011;

class TKWInstance : public QObject {
  Q_OBJECT
 public:
  // key: distinguishes programs/users (tests use their own).
  explicit TKWInstance(const QString& key = QString());
  ~TKWInstance() override;

  // True when this process is the running instance (it then listens).
  // Otherwise another instance runs; call Forward.
  bool Acquire();
  // Sends names (in order) to the running instance; false when it could not
  // be reached within timeoutMs.
  bool Forward(const QStringList& names, int timeoutMs = 4000);

  // Text of a file-name message: names separated by CR LF, NUL-terminated,
  // after the tag and the size (both little-endian 32-bit).
  static QByteArray Encode(const QStringList& names);
  // Names of a message, or empty when the tag or size does not match.
  static QStringList Decode(const QByteArray& data);

  // The user's private folder of lock and socket ("/run/user/UID/varoka"
  // when the session has that folder, else "/tmp/varoka-UID"), made with
  // mode 0700 when missing; empty when no folder of the user's own can be
  // had (then every start runs on its own).
  static QString Folder();
  // Full path of the socket and of the lock file.
  QString ServerName() const { return serverName_; }
  QString LockName() const { return lockName_; }

 signals:
  void FilesReceived(const QStringList& names);

 private:
  void onConnection();
  QString serverName_;
  QString lockName_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer* server_ = nullptr;
};
