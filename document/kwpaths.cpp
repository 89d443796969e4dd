#include "document/kwpaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

#include "platform/sysutils.h"

namespace {
std::string& overrideDir() {
  static std::string d;
  return d;
}
std::string withSlash(std::string s) {
  if (!s.empty() && s.back() != '/') s += '/';
  return s;
}
}  // namespace

void SetKWDataDir(const std::string& dir) { overrideDir() = dir.empty() ? dir : withSlash(dir); }

std::string KWDataDir() {
  if (!overrideDir().empty()) return overrideDir();
  const std::string exe = ExecutableDir();
  if (::access(exe.c_str(), W_OK) == 0) return exe;
  QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  if (data.isEmpty()) return exe;
  QDir().mkpath(data);
  return withSlash(data.toStdString());
}

std::string KWSettingsFile() { return KWDataDir() + "KW.ini"; }
std::string KWResumeDir() { return KWDataDir() + "Resume/"; }
std::string KWScriptDir() { return ExecutableDir() + "Script/"; }
