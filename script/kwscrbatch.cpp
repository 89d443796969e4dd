#include "script/kwscrbatch.h"

#include <filesystem>
#include <ostream>

TKWBasicFilter* TKWConsoleScriptHost::FindFilter(const std::string& name) {
  return FilterLookup ? FilterLookup(name) : nullptr;
}
TKWBasicMixer* TKWConsoleScriptHost::FindMixer(const std::string& name) {
  return MixerLookup ? MixerLookup(name) : nullptr;
}
TKWBasicGenerator* TKWConsoleScriptHost::FindGenerator(const std::string& name) {
  return GeneratorLookup ? GeneratorLookup(name) : nullptr;
}

void TKWConsoleScriptHost::ShowInformation(const std::string& text) {
  out_ << text << '\n';
  out_.flush();
}

void TKWConsoleScriptHost::ShowError(const std::string& text) {
  err_ << text << '\n';
  err_.flush();
}

int KWRunScriptBatch(TKWScriptEngine& engine, const std::string& path, std::ostream& err) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec) || std::filesystem::is_directory(path, ec)) {
    err << "スクリプトファイル" << KWSQuote(path) << "が見つかりません。" << '\n';
    err.flush();
    return kKWSExitError;
  }
  try {
    engine.RunFile(path);
  } catch (const std::exception& e) {
    err << e.what() << '\n';
    err.flush();
    return kKWSExitError;
  }
  return kKWSExitOk;
}
