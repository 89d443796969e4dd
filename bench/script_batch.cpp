// Whole-process timing of a batch run: a 6000 x 4000 BMP opened, turned to
// gray, colour-scaled, inverted and saved as BMP by KW --run, against
// ImageMagick's convert doing the same steps on the same file.  Both are
// started as processes, so start-up, reading and writing count as well.
// Also how runs grow with their size, which should be in proportion: N
// documents made by CLONE, and a 10,000-pass loop of IF jumps behind N
// comment lines.
//   script_batch_bench [--benchmark_...]   (environment KW_EXE: another
//   build's program; convert on PATH)
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/bitmap.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Dir() {
  static const fs::path d = [] {
    fs::path p = fs::temp_directory_path() / ("kw_script_batch_bench_" + std::to_string(::getpid()));
    fs::create_directories(p);
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(6000, 4000);
    std::mt19937 gen(1);
    for (int y = 0; y < b.Height(); ++y) {
      uint8_t* row = b.ScanLine(y);
      for (int i = 0; i < b.Width() * 3; ++i) row[i] = uint8_t((i / 3 + y) ^ (gen() & 15));
    }
    b.SaveToFile((p / "in.bmp").string());
    std::ofstream(p / "steps.kws") << "IMAGE A\nOPEN A \"" << (p / "in.bmp").string()
                                   << "\"\nEXECFILTER GrayScale A\n= KWRGB.RED 1.2\n= KWRGB.GREEN 0.9\n"
                                      "= KWRGB.BLUE 1\nEXECFILTER KWRGB A\nEXECFILTER NegativeColor A\n"
                                      "SAVE A \""
                                   << (p / "kw.bmp").string() << "\"\n";
    return p;
  }();
  return d;
}

void Run(benchmark::State& state, const std::string& cmd) {
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) {
      state.SkipWithError(("failed: " + cmd).c_str());
      break;
    }
  }
}

void BM_KWRun(benchmark::State& state) {
  const char* exe = std::getenv("KW_EXE");  // another build's program, if given
  Run(state, std::string("QT_QPA_PLATFORM=offscreen '") + (exe ? exe : KW_EXE) + "' --run '" +
                 (Dir() / "steps.kws").string() + "'");
}

void BM_Convert(benchmark::State& state) {
  const fs::path& d = Dir();
  Run(state, "convert '" + (d / "in.bmp").string() +
                 "' -grayscale Rec601Luma -channel R -evaluate multiply 1.2 -channel G -evaluate "
                 "multiply 0.9 +channel -negate 'BMP3:" +
                 (d / "convert.bmp").string() + "'");
}

std::string KWCommand(const fs::path& script) {
  const char* exe = std::getenv("KW_EXE");
  return std::string("QT_QPA_PLATFORM=offscreen '") + (exe ? exe : KW_EXE) + "' --run '" + script.string() + "'";
}

void BM_Clones(benchmark::State& state) {
  const fs::path script = Dir() / ("clones" + std::to_string(state.range(0)) + ".kws");
  std::ofstream(script) << "IMAGE A\nIMAGE B\nOPEN A \"" << (Dir() / "small.bmp").string()
                        << "\"\nVALUE I\nFOR I 1 " << state.range(0) << "\nCLONE B A\nNEXT\n";
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(32, 32);
  b.SaveToFile((Dir() / "small.bmp").string());
  Run(state, KWCommand(script));
}

void BM_JumpsBehindComments(benchmark::State& state) {
  const fs::path script = Dir() / ("jumps" + std::to_string(state.range(0)) + ".kws");
  {
    std::ofstream f(script);
    for (int64_t i = 0; i < state.range(0); ++i) f << "; comment\n";
    f << "VALUE I\nBOOL B\nTOP:\nINC I\n< B I 10000\nIF B TOP\n";
  }
  Run(state, KWCommand(script));
}

}  // namespace

BENCHMARK(BM_Clones)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_JumpsBehindComments)->Arg(5000)->Arg(20000)->Arg(80000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_KWRun)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_Convert)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::error_code ec;
  fs::remove_all(Dir(), ec);
  return 0;
}
