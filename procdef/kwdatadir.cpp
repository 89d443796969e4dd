#include "procdef/kwdatadir.h"

#include <cstdlib>
#include <mutex>

#include <unistd.h>

#include "platform/sysutils.h"

const char* const kKWInstalledMarker = "installed.txt";

namespace {

std::mutex g_lock;
std::string g_override;

std::string withSlash(std::string s) {
  if (!s.empty() && s.back() != '/') s += '/';
  return s;
}

}  // namespace

void KWSetDataDir(const std::string& dir) {
  std::lock_guard<std::mutex> g(g_lock);
  g_override = withSlash(dir);
}

std::string KWUserDataDir() {
  // XDG: a relative $XDG_DATA_HOME is to be ignored.
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return withSlash(xdg) + "Varoka/";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return withSlash(home) + ".local/share/Varoka/";
  return "";
}

std::string KWDataDir() {
  {
    std::lock_guard<std::mutex> g(g_lock);
    if (!g_override.empty()) return g_override;
  }
  const std::string exe = ExecutableDir();
  const bool installed = ProgramFolderInstalled();
  if (!installed && ::access(exe.c_str(), W_OK) == 0) return exe;
  const std::string user = KWUserDataDir();
  if (user.empty() || !ForceDirectories(user)) return exe;
  return user;
}
