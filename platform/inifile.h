// TMemIniFile: an INI file read once into memory and written back by
// UpdateFile.  Sections and keys are found without regard to case, the first
// match wins, and the order of sections and keys in the file is kept.  Typed
// reads fall back to the caller's default when the stored text is not a
// valid value of the type.  Text is UTF-8; lines end in CR LF when written.
#pragma once

#include <string>
#include <vector>

#include "platform/stringlist.h"

class TMemIniFile {
 public:
  // Reads fileName when it exists; otherwise starts empty.  A file that
  // exists but is not a regular file, is too large or cannot be read also
  // starts empty, with ReadError saying why.
  explicit TMemIniFile(const std::string& fileName);
  virtual ~TMemIniFile();

  const std::string& FileName() const { return fileName_; }
  // Why an existing file could not be read; empty when it was read or is
  // missing.  Such a file is never written over by UpdateFile.
  const std::string& ReadError() const { return readError_; }

  virtual std::string ReadString(const std::string& section, const std::string& ident,
                                 const std::string& def) const;
  virtual void WriteString(const std::string& section, const std::string& ident,
                           const std::string& value);
  // Decimal, or hexadecimal with "$" or "0x"; otherwise def.
  int ReadInteger(const std::string& section, const std::string& ident, int def) const;
  void WriteInteger(const std::string& section, const std::string& ident, int value);
  // Any integer: 0 is false, every other value true; not an integer: def.
  bool ReadBool(const std::string& section, const std::string& ident, bool def) const;
  // Writes "1" or "0".
  void WriteBool(const std::string& section, const std::string& ident, bool value);
  // Decimal number with "." as separator; otherwise def.
  double ReadFloat(const std::string& section, const std::string& ident, double def) const;
  // Shortest text with at most 15 significant digits ("1", "0.5", "1E-5").
  void WriteFloat(const std::string& section, const std::string& ident, double value);

  virtual void ReadSection(const std::string& section, TStringList& idents) const;
  virtual void ReadSectionValues(const std::string& section, TStringList& lines) const;
  void ReadSections(TStringList& sections) const;
  virtual bool SectionExists(const std::string& section) const;
  virtual bool ValueExists(const std::string& section, const std::string& ident) const;
  virtual void EraseSection(const std::string& section);
  virtual void DeleteKey(const std::string& section, const std::string& ident);

  // True when a write, deletion or erasure changed the contents since reading.
  bool Modified() const { return modified_; }
  // Writes the file when the contents changed; raises EInOutError on failure
  // (also when the file could not be read).
  void UpdateFile();

  // The whole contents as file text (CR LF line ends).
  std::string Text() const;
  void SetText(const std::string& text);

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };
  const Section* findSection(const std::string& name) const;
  Section* findSection(const std::string& name);

  std::string fileName_;
  std::string readError_;
  std::vector<Section> sections_;
  bool modified_ = false;
};
