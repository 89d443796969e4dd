// Stand-in for KW --run in the tests: the batch runner with the test
// processors (a filter NEG, a mixer OVERLAP, a generator JULIA).
#include <iostream>

#include "script/kwscrbatch.h"
#include "script_test_support.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: kws_runner SCRIPT.kws\n";
    return kKWSExitUsage;
  }
  auto filter = TKWProcessor::Create<TestFilter>();
  auto mixer = TKWProcessor::Create<TestMixer>();
  auto generator = TKWProcessor::Create<TestGenerator>();
  TKWConsoleScriptHost host(std::cout, std::cerr);
  host.FilterLookup = [&](const std::string& n) -> TKWBasicFilter* {
    return SameText(n, "NEG") ? filter.get() : nullptr;
  };
  host.MixerLookup = [&](const std::string& n) -> TKWBasicMixer* {
    return SameText(n, "OVERLAP") ? mixer.get() : nullptr;
  };
  host.GeneratorLookup = [&](const std::string& n) -> TKWBasicGenerator* {
    return SameText(n, "JULIA") ? generator.get() : nullptr;
  };
  TKWScriptEngine engine(&host);
  return KWRunScriptBatch(engine, argv[1], std::cerr);
}
