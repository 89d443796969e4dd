// The four mixers of the standard package: a 4000 x 3000 foreground on a
// 6000 x 4000 background (placed inside it, no clipping).  Items processed
// = pixels of the overlap, so the rate reads as overlap pixels per second.
// Threads: every core, or KW_THREADS=N from the environment (KW_THREADS=1
// for the one-core figures); rates from the wall clock.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "proclib/kwavrg.h"
#include "proclib/kwdiffer.h"
#include "proclib/kwlgcmix.h"
#include "proclib/kwovrlap.h"

using namespace kwlib;

namespace {

constexpr int BW = 6000, BH = 4000, FW = 4000, FH = 3000;
constexpr TPoint kOrigin{1000, 500};

// A photograph-like picture: smooth gradients with noise.
std::unique_ptr<TBitmap> Picture(int w, int h, uint32_t seed) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf32bit);
  b->SetSize(w, h);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    uint32_t* r = b->Row32(y);
    for (int x = 0; x < w; ++x) {
      uint32_t n = rng();
      uint32_t bl = (x * 255 / w + (n & 31)) & 0xFF, g = (y * 255 / h + ((n >> 5) & 31)) & 0xFF,
               rd = ((x + y) * 255 / (w + h) + ((n >> 10) & 31)) & 0xFF;
      r[x] = bl | (g << 8) | (rd << 16) | 0xFF000000u;
    }
  }
  return b;
}

// What the host hands a mixer: the two parts of the overlap and the whole
// background as destination.
struct Parts {
  std::unique_ptr<TBitmap> bgPart = Picture(FW, FH, 1);
  std::unique_ptr<TBitmap> fgPart = Picture(FW, FH, 2);
  std::unique_ptr<TBitmap> dst = Picture(BW, BH, 3);
};

Parts& Data() {
  static Parts p;
  return p;
}

template <class M>
void Run(benchmark::State& state, M& m) {
  Parts& p = Data();
  for (auto _ : state) {
    m.Mixer(p.bgPart.get(), p.fgPart.get(), p.dst.get(), kOrigin);
    benchmark::DoNotOptimize(p.dst->Row32(kOrigin.Y)[kOrigin.X]);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(FW) * FH);
}

void BM_Overlap(benchmark::State& state) {
  TKWOverlapPack pack;  // the defaults: 0 to 127 transparent
  pack.GSmooth = state.range(0) != 0;
  auto m = TKWProcessor::Create<TKWOverlap>(&pack);
  Run(state, *m);
}
BENCHMARK(BM_Overlap)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Logical(benchmark::State& state) {
  TLogicalMixerPack pack;
  pack.Operation = int32_t(state.range(0));
  auto m = TKWProcessor::Create<TKWLogicalMixer>(&pack);
  Run(state, *m);
}
BENCHMARK(BM_Logical)->Arg(0)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Average(benchmark::State& state) {
  TAveragePack pack;
  pack.Mode = int32_t(state.range(0));
  pack.BGWait = 1;
  pack.FGWait = 3;
  auto m = TKWProcessor::Create<TAverageMixer>(&pack);
  Run(state, *m);
}
BENCHMARK(BM_Average)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Differ(benchmark::State& state) {
  TKWDifferPack pack;
  auto m = TKWProcessor::Create<TKWDiffer>(&pack);
  Run(state, *m);
}
BENCHMARK(BM_Differ)->Unit(benchmark::kMillisecond)->UseRealTime();

// The plain overlap formula, channel by channel, for comparison.
void BM_OverlapPlain(benchmark::State& state) {
  Parts& p = Data();
  const TWeightTable t = MakeWeightTable(0, 127, false, false);
  for (auto _ : state) {
    for (int y = 0; y < FH; ++y) {
      const uint32_t* b = p.bgPart->Row32(y);
      const uint32_t* f = p.fgPart->Row32(y);
      uint32_t* d = p.dst->Row32(kOrigin.Y + y) + kOrigin.X;
      for (int x = 0; x < FW; ++x) {
        uint32_t w = std::max(std::max(t[f[x] & 0xFF], t[(f[x] >> 8) & 0xFF]), t[(f[x] >> 16) & 0xFF]);
        uint32_t r = b[x] & 0xFF000000u;
        for (int c = 0; c < 24; c += 8)
          r |= ((((b[x] >> c) & 0xFF) * (65536 - w) + ((f[x] >> c) & 0xFF) * w) >> 16) << c;
        d[x] = r;
      }
    }
    benchmark::DoNotOptimize(p.dst->Row32(kOrigin.Y)[kOrigin.X]);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(FW) * FH);
}
BENCHMARK(BM_OverlapPlain)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
