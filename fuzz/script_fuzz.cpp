// libFuzzer target: arbitrary bytes as a script file, through the reader,
// the tokenizer and the engine (with a filter, a mixer and a generator to
// resolve parameters against).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "procdef/kwproc.h"
#include "script/kwscrengine.h"

namespace {

class FuzzFilter : public TKWBasicFilter {
 public:
  int32_t i = 0;
  float f = 0;
  double d = 0;
  uint8_t b = 0;
  std::string s;
  void MakeList() override {
    AddParam("I", TKWParamType::ptInteger, &i);
    AddParam("F", TKWParamType::ptSingle, &f);
    AddParam("D", TKWParamType::ptDouble, &d);
    AddParam("B", TKWParamType::ptBoolean, &b);
    AddParam("S", TKWParamType::ptString, &s);
  }
  void Filter(TBitmap*, TBitmap*) override {}
};

class FuzzHost : public TKWScriptHost {
 public:
  FuzzFilter* filter = nullptr;
  TKWBasicFilter* FindFilter(const std::string& n) override { return SameText(n, "P") ? filter : nullptr; }
  void ShowInformation(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto filter = TKWProcessor::Create<FuzzFilter>();
  static FuzzHost host;
  static TKWScriptEngine* engine = [] {
    host.filter = filter.get();
    auto* e = new TKWScriptEngine(&host);
    // No CALL: generated names could read any file of the machine.
    TStringList& t = e->SecondKeywordTable();
    int i = t.IndexOf("CALL");
    delete t.ObjectAs<TKWScriptCommand>(i);
    t.Delete(i);
    // Every line read counts, also the lines a jump scans: a looping input
    // stops after a few hundred lines instead of running for seconds.
    e->LineBudget = 500;
    return e;
  }();
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  TKWScript script;
  script.LoadFromText(bytes);
  try {
    engine->RunScript(script);
  } catch (const Exception&) {
  }
  if (engine->Vars() != nullptr || engine->CallDepth() != 0) __builtin_trap();
  return 0;
}
