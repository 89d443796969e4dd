// Fuzz target: bytes as a settings file, through the INI reader; its text
// read back must give the same text again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/inifile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemIniFile ini("");
  ini.SetText(std::string(reinterpret_cast<const char*>(data), size));
  TStringList sections;
  ini.ReadSections(sections);
  for (int i = 0; i < sections.Count() && i < 8; ++i) {
    TStringList keys;
    ini.ReadSection(sections.Strings(i), keys);
    for (int k = 0; k < keys.Count() && k < 8; ++k) {
      ini.ReadInteger(sections.Strings(i), keys.Strings(k), 0);
      ini.ReadFloat(sections.Strings(i), keys.Strings(k), 0);
      ini.ReadBool(sections.Strings(i), keys.Strings(k), false);
    }
  }
  const std::string text = ini.Text();
  TMemIniFile again("");
  again.SetText(text);
  if (again.Text() != text) __builtin_trap();
  return 0;
}
