// The program's command line, run as a separate process.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>

#include "host/instance.h"

#include <filesystem>

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

TEST(CommandLine, SecondStartHandsOverAndEnds) {
  QTemporaryDir dir;
  QString kw = programFolder(dir);
  QProcess first;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("KW_INSTANCE_KEY", QString("kw-second-%1").arg(::getpid()));
  first.setProcessEnvironment(env);
  first.start(kw, {});
  ASSERT_TRUE(first.waitForStarted());
  // Wait until the first start listens; before that a second start would
  // take the lock itself and become the running program.
  QString server = TKWInstance(QString("kw-second-%1").arg(::getpid())).ServerName();
  bool listening = false;
  for (int i = 0; i < 300 && !listening; ++i) {
    QLocalSocket probe;
    probe.connectToServer(server);
    listening = probe.waitForConnected(100);
    if (!listening) QThread::msleep(100);
  }
  ASSERT_TRUE(listening);
  QProcess second;
  second.setProcessEnvironment(env);
  // The second start waits until the first listens, hands over and ends.
  second.start(kw, {dir.path() + "/missing.bmp"});
  ASSERT_TRUE(second.waitForFinished(60000));
  EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
  EXPECT_EQ(first.state(), QProcess::Running);
  first.terminate();
  first.waitForFinished(5000);
  if (first.state() != QProcess::NotRunning) first.kill();
}
