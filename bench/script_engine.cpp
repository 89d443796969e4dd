// Script engine speed: a FOR loop of a million iterations with one ADD in
// its body, and a script of 10,000 lines of arithmetic.
#include <benchmark/benchmark.h>

#include <string>

#include "script/kwscrengine.h"

namespace {

class NullHost : public TKWScriptHost {
 public:
  void ShowInformation(const std::string&) override {}
};

void BM_ForLoopMillion(benchmark::State& state) {
  NullHost host;
  TKWScriptEngine engine(&host);
  TKWScript script;
  script.LoadFromText("VALUE I\r\nVALUE S\r\nFOR I 1 1000000\r\nADD S S I\r\nNEXT\r\n");
  for (auto _ : state) engine.RunScript(script);
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_ForLoopMillion)->Unit(benchmark::kMillisecond);

void BM_ArithmeticLines(benchmark::State& state) {
  NullHost host;
  TKWScriptEngine engine(&host);
  std::string text = "VALUE A\r\nVALUE B\r\nVALUE C\r\n= A 1.5\r\n= B 2\r\n";
  const char* ops[] = {"ADD C A B", "SUB A C 0.25", "MUL B B 1.0001", "DIV C C B", "SQRT A 2.5",
                       "MOD C 1000 7", "POWER A B 2", "SIN B 0.5", "+ C C 1e-3", "LOG10 A 123.4"};
  for (int i = 0; i < 10000 - 5; ++i) text += std::string(ops[i % 10]) + "\r\n";
  TKWScript script;
  script.LoadFromText(text);
  for (auto _ : state) engine.RunScript(script);
  state.SetItemsProcessed(state.iterations() * script.Count());
}
BENCHMARK(BM_ArithmeticLines)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
