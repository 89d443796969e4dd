// Shared pieces of the script tests: a host with a few processors whose
// "panels" are plain fields, and a runner that keeps the variables of the
// last finished run.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "procdef/kwproc.h"
#include "script/kwscrcmd.h"
#include "script/kwscrengine.h"
#include "script/kwscript.h"

// Settings pack and panel of the test filter.
struct TestFilterSettings {
  int32_t Level = 0;
  float Gamma = 0;
  double Ratio = 0;
  uint8_t Flag = 0;
  std::string Text;
};

class TestFilter : public TKWBasicFilter {
 public:
  TestFilterSettings Cur;    // current values
  TestFilterSettings Panel;  // what the panel shows
  int UpdateCount = 0;

  void MakeList() override {
    AddParam("LEVEL", TKWParamType::ptInteger, &Cur.Level);
    AddParam("GAMMA", TKWParamType::ptSingle, &Cur.Gamma);
    AddParam("RATIO", TKWParamType::ptDouble, &Cur.Ratio);
    AddParam("FLAG", TKWParamType::ptBoolean, &Cur.Flag);
    AddParam("TEXT", TKWParamType::ptString, &Cur.Text);
    AddParam("LEVEL", TKWParamType::ptInteger, &shadow_);  // a second entry of one name
  }
  void UpdateParam() override {
    ++UpdateCount;
    Cur = Panel;
  }
  void Filter(TBitmap*, TBitmap*) override {}

 private:
  int32_t shadow_ = -1;
};

class TestMixer : public TKWBasicMixer {
 public:
  int32_t Alpha = 0;
  void MakeList() override { AddParam("ALPHA", TKWParamType::ptInteger, &Alpha); }
  void Mixer(TBitmap*, TBitmap*, TBitmap*, const TPoint&) override {}
};

class TestGenerator : public TKWBasicGenerator {
 public:
  double Seed = 0;
  void MakeList() override { AddParam("SEED", TKWParamType::ptDouble, &Seed); }
  void Generator(TBitmap*) override {}
};

class TestHost : public TKWScriptHost {
 public:
  std::map<std::string, TKWBasicFilter*> filters;
  std::map<std::string, TKWBasicMixer*> mixers;
  std::map<std::string, TKWBasicGenerator*> generators;
  std::vector<std::string> messages;
  int32_t mixX = 0, mixY = 0;
  bool clip = false;

  static std::string Up(const std::string& s) { return UpperCase(s); }
  TKWBasicFilter* FindFilter(const std::string& n) override {
    auto it = filters.find(Up(n));
    return it == filters.end() ? nullptr : it->second;
  }
  TKWBasicMixer* FindMixer(const std::string& n) override {
    auto it = mixers.find(Up(n));
    return it == mixers.end() ? nullptr : it->second;
  }
  TKWBasicGenerator* FindGenerator(const std::string& n) override {
    auto it = generators.find(Up(n));
    return it == generators.end() ? nullptr : it->second;
  }
  void GetMixerSettings(int32_t& x, int32_t& y, bool& c) override {
    x = mixX;
    y = mixY;
    c = clip;
  }
  void ShowInformation(const std::string& text) override { messages.push_back(text); }
};

// Variables of a finished run, by name.
struct RunResult {
  std::map<std::string, double> values;
  std::map<std::string, std::string> strings;
  std::map<std::string, bool> bools;
  std::map<std::string, TKWChild*> images;
  int imageCount = 0, valueCount = 0;
  int stackDepth = 0;
  int32_t mixerX = 0, mixerY = 0, mixerFlag = 0, genW = 0, genH = 0;
};

class ScriptFixture {
 public:
  TestHost host;
  std::unique_ptr<TestFilter> filter = TKWProcessor::Create<TestFilter>();
  std::unique_ptr<TestMixer> mixer = TKWProcessor::Create<TestMixer>();
  std::unique_ptr<TestGenerator> generator = TKWProcessor::Create<TestGenerator>();
  TKWScriptEngine engine{&host};
  RunResult last;

  ScriptFixture() {
    filter->Name = "NegativeColor";
    mixer->Name = "Overlap";
    generator->Name = "Julia";
    host.filters["NEG"] = filter.get();
    host.mixers["OVERLAP"] = mixer.get();
    host.generators["JULIA"] = generator.get();
    engine.OnRunEnd = [this](const TKWScriptVariable& v) {
      if (engine.CallDepth() != 1) return;  // only the outermost run
      last = RunResult();
      for (int i = 0; i < v.ValueNames.Count(); ++i) last.values[v.ValueNames.Strings(i)] = v.Values[i];
      for (int i = 0; i < v.StringNames.Count(); ++i)
        last.strings[v.StringNames.Strings(i)] = v.Strings[i];
      for (int i = 0; i < v.BoolNames.Count(); ++i) last.bools[v.BoolNames.Strings(i)] = v.Bools[i] != 0;
      for (int i = 0; i < v.ImageNames.Count(); ++i) last.images[v.ImageNames.Strings(i)] = v.Images[i];
      last.imageCount = v.ImageNames.Count();
      last.valueCount = v.ValueNames.Count();
      last.stackDepth = v.StackDepth;
      last.mixerX = v.MixerOriginX;
      last.mixerY = v.MixerOriginY;
      last.mixerFlag = v.MixerFlag;
      last.genW = v.GeneratorWidth;
      last.genH = v.GeneratorHeight;
    };
  }

  void RunText(const std::string& text) {
    TKWScript s;
    s.LoadFromText(text);
    engine.RunScript(s);
  }
  // The message of the exception the script ends with; "" when it ran to its end.
  std::string Error(const std::string& text) {
    try {
      RunText(text);
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }
  double Value(const std::string& n) { return last.values.at(n); }
  bool Bool(const std::string& n) { return last.bools.at(n); }
  std::string Str(const std::string& n) { return last.strings.at(n); }
};

inline std::string Suffix(const std::string& line) { return "\r\nAt \"" + line + "\""; }

// A temporary folder removed with the object.
class TempDir {
 public:
  TempDir() {
    path_ = std::filesystem::temp_directory_path() /
            ("kwscript_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name, const std::string& bytes) const {
    std::string p = (path_ / name).string();
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
  static inline int counter_ = 0;
};
