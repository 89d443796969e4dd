// The pure colour and gradation generators filling a 6000 x 4000 image.
// Items processed = pixels, so the rate reads as pixels per second.
// Threads: every core, or KW_THREADS=N from the environment (KW_THREADS=1
// for the one-core figures); rates from the wall clock.
#include <benchmark/benchmark.h>

#include <memory>

#include "proclib/kwgrad.h"
#include "proclib/kwpurclr.h"

using namespace kwlib;

namespace {

constexpr int W = 6000, H = 4000;

std::unique_ptr<TBitmap> Image() {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf32bit);
  b->SetSize(W, H);
  return b;
}

void BM_PureColor(benchmark::State& state) {
  IsLoadComplete = true;
  TPureColorPack pack;
  pack.Red = 12, pack.Green = 200, pack.Blue = 99;
  auto gen = TKWProcessor::Create<TKWPureColor>(&pack);
  auto b = Image();
  for (auto _ : state) {
    gen->Generator(b.get());
    benchmark::DoNotOptimize(b->Row32(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(W) * H);
}

// Style 0 (linear) or 1 (circle), rotated by 30 degrees, with control points
// in every channel.
void BM_Gradation(benchmark::State& state) {
  IsLoadComplete = true;
  TKWGradationPack pack;
  pack.Style = int32_t(state.range(0));
  pack.Rotate = 30;
  pack.Scale = 0.5f;
  for (int ch = 0; ch < 3; ++ch) {
    pack.Value(ch, 0) = 40 * (ch + 1), pack.Pos(ch, 0) = 0.3f;
    pack.Value(ch, 1) = 250 - 30 * ch, pack.Pos(ch, 1) = 0.7f;
  }
  auto gen = TKWProcessor::Create<TKWGradation>(&pack);
  auto b = Image();
  for (auto _ : state) {
    gen->Generator(b.get());
    benchmark::DoNotOptimize(b->Row32(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(W) * H);
}

}  // namespace

BENCHMARK(BM_PureColor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Gradation)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
