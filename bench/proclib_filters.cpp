// The seven filters of the standard package on a 6000 x 4000 image; items
// processed = pixels, so the rate reads as pixels per second.
// Threads: every core, or KW_THREADS=N from the environment (KW_THREADS=1
// for the one-core figures); rates from the wall clock.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "proclib/kwbinclr.h"
#include "proclib/kwgamma.h"
#include "proclib/kwgray.h"
#include "proclib/kwhstflt.h"
#include "proclib/kwnega.h"
#include "proclib/kwrgb.h"
#include "proclib/kwselect.h"

using namespace kwlib;

namespace {

constexpr int W = 6000, H = 4000;

// A photograph-like image: smooth gradients with noise.
TBitmap& Source() {
  static std::unique_ptr<TBitmap> b = [] {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf32bit);
    b->SetSize(W, H);
    std::mt19937 rng(1);
    for (int y = 0; y < H; ++y) {
      uint32_t* r = b->Row32(y);
      for (int x = 0; x < W; ++x) {
        uint32_t n = rng();
        uint32_t bl = (x * 255 / W + (n & 15)) & 0xFF, g = (y * 255 / H + ((n >> 4) & 15)) & 0xFF,
                 rd = ((x + y) * 255 / (W + H) + ((n >> 8) & 15)) & 0xFF;
        r[x] = bl | (g << 8) | (rd << 16) | 0xFF000000u;
      }
    }
    return b;
  }();
  return *b;
}

TBitmap& Dest() {
  static std::unique_ptr<TBitmap> b = [] {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf32bit);
    b->SetSize(W, H);
    return b;
  }();
  return *b;
}

template <class F>
void RunFilter(benchmark::State& state, F& f) {
  TBitmap& s = Source();
  TBitmap& d = Dest();
  for (auto _ : state) {
    f.Filter(&s, &d);
    benchmark::DoNotOptimize(d.Row32(0)[0]);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * W * H);
}

void BM_Negative(benchmark::State& st) {
  auto f = TKWProcessor::Create<TKWNegativeFilter>();
  RunFilter(st, *f);
}
void BM_GrayScale(benchmark::State& st) {
  auto f = TKWProcessor::Create<TKWGrayScale>();
  RunFilter(st, *f);
}
void BM_RGB(benchmark::State& st) {
  TKWRGBPack p;
  p.Red = 1.2f;
  p.Green = 0.8f;
  p.Blue = 0.5f;
  auto f = TKWProcessor::Create<TRGBFilter>(&p);
  RunFilter(st, *f);
}
void BM_Selector(benchmark::State& st) {
  TSelectorPack p;
  p.SourceR = 2;
  p.SourceB = 0;
  p.SourceG = 5;
  auto f = TKWProcessor::Create<TKWSelector>(&p);
  RunFilter(st, *f);
}
void BM_Binarize(benchmark::State& st) {
  TKWBinClrPack p;
  p.ThMode = int32_t(st.range(0));
  p.Threshold = 100;
  auto f = TKWProcessor::Create<TKWBinClr>(&p);
  RunFilter(st, *f);
}
void BM_Gamma(benchmark::State& st) {
  TGammaPack p;
  p.Gamma = 1.8f;
  p.Color = st.range(0) == 1;
  p.GammaR = 1.5f;
  p.GammaG = 0.7f;
  p.GammaB = 2.2f;
  auto f = TKWProcessor::Create<TKWGamma>(&p);
  RunFilter(st, *f);
}
void BM_HistFlat(benchmark::State& st) {
  TKWHistFlatPack p;
  p.Method = int32_t(st.range(0));
  auto f = TKWProcessor::Create<TKWHistFlater>(&p);
  RunFilter(st, *f);
}

}  // namespace

BENCHMARK(BM_Negative)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GrayScale)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RGB)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Selector)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Binarize)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Gamma)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HistFlat)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
