#include "procdef/multiuserini.h"

#include <mutex>
#include <set>

#include "platform/sysutils.h"
#include "procdef/kwmessages.h"

namespace {
const char* const kSentinel = "TMultiUserIni: default value";
bool gSettingsWritable = true;
}  // namespace

void KWSetSettingsWritable(bool writable) { gSettingsWritable = writable; }
bool KWSettingsWritable() { return gSettingsWritable; }

TMultiUserIni::TMultiUserIni(const std::string& fileName)
    : TMultiUserIni(fileName, LoggedOnUserName()) {}

TMultiUserIni::TMultiUserIni(const std::string& fileName, const std::string& userName)
    : TMemIniFile(fileName) {
  if (!ReadError().empty()) {
    // Said once per file: settings are read in many places.
    static std::mutex m;
    static std::set<std::string> told;
    std::lock_guard<std::mutex> lock(m);
    if (told.insert(fileName).second)
      ShowMessageBox(TMsgKind::Warning, ReadError() + "\n設定は既定の値を使います。");
  }
  // A user name of at least one character gives the sections a prefix.
  if (!userName.empty()) {
    prefix_ = userName + ".";
    usePrefix_ = true;
  }
}

TMultiUserIni::~TMultiUserIni() {
  if (modified_ && gSettingsWritable) {
    try {
      UpdateFile();
    } catch (...) {
      // A settings file that cannot be written is left as it was.
    }
  }
}

std::string TMultiUserIni::ReadString(const std::string& section, const std::string& ident,
                                      const std::string& def) const {
  if (!usePrefix_) return TMemIniFile::ReadString(section, ident, def);
  std::string v = TMemIniFile::ReadString(sec(section), ident, kSentinel);
  if (v == kSentinel) return TMemIniFile::ReadString(section, ident, def);
  return v;
}

void TMultiUserIni::WriteString(const std::string& section, const std::string& ident,
                                const std::string& value) {
  TMemIniFile::WriteString(sec(section), ident, value);
  modified_ = true;
}

void TMultiUserIni::DeleteKey(const std::string& section, const std::string& ident) {
  TMemIniFile::DeleteKey(sec(section), ident);
  modified_ = true;
}

void TMultiUserIni::EraseSection(const std::string& section) {
  TMemIniFile::EraseSection(sec(section));
  modified_ = true;
}

void TMultiUserIni::ReadSection(const std::string& section, TStringList& idents) const {
  TMemIniFile::ReadSection(sec(section), idents);
}

void TMultiUserIni::ReadSectionValues(const std::string& section, TStringList& lines) const {
  TMemIniFile::ReadSectionValues(sec(section), lines);
}

bool TMultiUserIni::SectionExists(const std::string& section) const {
  return TMemIniFile::SectionExists(sec(section));
}

bool TMultiUserIni::ValueExists(const std::string& section, const std::string& ident) const {
  return TMemIniFile::ValueExists(sec(section), ident);
}
