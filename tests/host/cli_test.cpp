// The program's command line, run as a separate process.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>

#include "host/instance.h"

#include <QDir>
#include <QFile>
#include <QLockFile>

#include <csignal>
#include <cstring>
#include <filesystem>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/bitmap.h"

namespace fs = std::filesystem;

namespace {
struct Result {
  int code;
  QString out;
  QString err;
};

Result run(const QString& exe, const QStringList& args, int timeoutMs = 20000) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("KW_INSTANCE_KEY", QString("kw-cli-%1").arg(::getpid()));
  p.setProcessEnvironment(env);
  p.start(exe, args);
  p.waitForFinished(timeoutMs);
  return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

// A program folder of its own: KW, libKWPrcDef.so and a ProcLib folder.
QString programFolder(const QTemporaryDir& dir) {
  fs::path d = dir.path().toStdString();
  fs::copy_file(KW_EXE, d / "KW");
  fs::copy_file(KW_PRCDEF, d / "libKWPrcDef.so");
  fs::create_directories(d / "ProcLib");
  fs::permissions(d / "KW", fs::perms::owner_all, fs::perm_options::add);
  return QString::fromStdString((d / "KW").string());
}
}  // namespace

TEST(CommandLine, HelpVersionAndUsageErrors) {
  Result help = run(KW_EXE, {"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_TRUE(help.out.startsWith("Usage: KW")) << help.out.toStdString();
  Result version = run(KW_EXE, {"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_TRUE(version.out.startsWith("Varoka ")) << version.out.toStdString();
  EXPECT_EQ(run(KW_EXE, {"--bogus"}).code, 2);
  EXPECT_EQ(run(KW_EXE, {"--list", "extra"}).code, 2);
  EXPECT_EQ(run(KW_EXE, {"--run"}).code, 2);
}

TEST(CommandLine, ListWithEmptyProcLibPrintsNothing) {
  QTemporaryDir dir;
  QString kw = programFolder(dir);
  Result r = run(kw, {"--list"});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
}

TEST(CommandLine, ListShowsTheTestPackagesProcessors) {
  QTemporaryDir dir;
  QString kw = programFolder(dir);
  fs::path proclib = fs::path(dir.path().toStdString()) / "ProcLib";
  fs::copy_file(std::string(TESTPKG_DIR) + "testpkgA.so", proclib / "testpkgA.so");
  Result r = run(kw, {"--list"});
  EXPECT_EQ(r.code, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.startsWith("filter\tTestInvert\tテスト反転A\n\tLEVEL\tinteger\n"))
      << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("generator\tTestGen\tテスト生成\n"));
}

TEST(CommandLine, BrokenPackageEndsStartWithItsName) {
  QTemporaryDir dir;
  QString kw = programFolder(dir);
  fs::path bad = fs::path(dir.path().toStdString()) / "ProcLib" / "broken.so";
  { FILE* f = fopen(bad.c_str(), "w"); fputs("junk", f); fclose(f); }
  Result r = run(kw, {"--list"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(r.err.contains(QString::fromStdString(bad.string()))) << r.err.toStdString();
}

// Waits for a started program to end after SIGTERM and returns the titles
// its resume data kept.
QString endAndReadResume(QProcess& p, const QString& folder) {
  ::kill(pid_t(p.processId()), SIGTERM);
  if (!p.waitForFinished(20000)) p.kill();
  QFile ini(folder + "/Resume/Resume.ini");
  return ini.open(QIODevice::ReadOnly) ? QString::fromUtf8(ini.readAll()) : QString();
}

TEST(CommandLine, SecondStartHandsOverWhateverItsEnvironmentOrOpensTheFilesItself) {
  QTemporaryDir dir;
  QString kw = programFolder(dir);
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(4, 3);
  b.SaveToFile(dir.path().toStdString() + "/handed.bmp");
  b.SaveToFile(dir.path().toStdString() + "/kept.bmp");
  const QString key = QString("kw-second-%1").arg(::getpid());
  TKWInstance probe(key);
  ASSERT_FALSE(probe.ServerName().isEmpty());
  // A socket left behind by a start that was killed.
  {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, probe.ServerName().toLocal8Bit().constData(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
  }
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("KW_INSTANCE_KEY", key);
  QProcess first;
  first.setProcessEnvironment(env);
  first.start(kw, {});
  ASSERT_TRUE(first.waitForStarted());
  // Wait until the first start listens; before that a second start would
  // take the lock itself and become the running program.
  bool listening = false;
  for (int i = 0; i < 300 && !listening; ++i) {
    QLocalSocket sock;
    sock.connectToServer(probe.ServerName());
    listening = sock.waitForConnected(100);
    if (!listening) QThread::msleep(100);
  }
  ASSERT_TRUE(listening);
  // A second start with another runtime folder still finds the first.
  QTemporaryDir otherRuntime;
  QProcessEnvironment env2 = env;
  env2.insert("XDG_RUNTIME_DIR", otherRuntime.path());
  QProcess second;
  second.setProcessEnvironment(env2);
  second.start(kw, {dir.path() + "/handed.bmp"});
  ASSERT_TRUE(second.waitForFinished(60000));
  EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
  QThread::msleep(1500);
  EXPECT_EQ(first.state(), QProcess::Running);
  EXPECT_TRUE(endAndReadResume(first, dir.path()).contains("Title=handed.bmp"));

  // A running program that does not answer: this start opens the file.
  QDir(dir.path() + "/Resume").removeRecursively();
  QLockFile held(probe.LockName());
  ASSERT_TRUE(held.tryLock(0));
  QProcess alone;
  alone.setProcessEnvironment(env);
  alone.start(kw, {dir.path() + "/kept.bmp"});
  ASSERT_TRUE(alone.waitForStarted());
  QByteArray said;
  for (int i = 0; i < 200 && !said.contains("opens the files"); ++i) {
    alone.waitForReadyRead(100);
    said += alone.readAllStandardError();
  }
  EXPECT_TRUE(said.contains("opens the files")) << said.toStdString();
  QThread::msleep(1500);
  EXPECT_EQ(alone.state(), QProcess::Running);
  EXPECT_TRUE(endAndReadResume(alone, dir.path()).contains("Title=kept.bmp"));
}
