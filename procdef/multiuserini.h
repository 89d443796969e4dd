// TMultiUserIni: an INI file with one set of sections per user.  Reads look
// at "<user>.<section>" first and fall back to the shared section; writes go
// to the user's section; the file is written at destruction when changed.
#pragma once

#include <string>

#include "platform/inifile.h"
#include "procdef/kwprcdef_api.h"

// Batch runs read settings but never write them: with writing disabled the
// destructor leaves the file as it is.
KWPRCDEF_API void KWSetSettingsWritable(bool writable);
KWPRCDEF_API bool KWSettingsWritable();

class KWPRCDEF_API TMultiUserIni : public TMemIniFile {
 public:
  // The user is the logged-on user of the operating system.
  explicit TMultiUserIni(const std::string& fileName);
  // The user given explicitly (empty: no per-user sections).
  TMultiUserIni(const std::string& fileName, const std::string& userName);
  ~TMultiUserIni() override;

  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& def) const override;
  void WriteString(const std::string& section, const std::string& ident,
                   const std::string& value) override;
  void DeleteKey(const std::string& section, const std::string& ident) override;
  void EraseSection(const std::string& section) override;
  void ReadSection(const std::string& section, TStringList& idents) const override;
  void ReadSectionValues(const std::string& section, TStringList& lines) const override;
  bool SectionExists(const std::string& section) const override;
  bool ValueExists(const std::string& section, const std::string& ident) const override;

  const std::string& UserPrefix() const { return prefix_; }
  bool UsePrefix() const { return usePrefix_; }
  bool IsModified() const { return modified_; }

 private:
  std::string sec(const std::string& section) const { return usePrefix_ ? prefix_ + section : section; }
  std::string prefix_;
  bool usePrefix_ = false;
  bool modified_ = false;
};
