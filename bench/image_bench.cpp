// Working bitmap: the alpha combination and alpha-from-image on a
// 6000 x 4000 picture (against plain loops of the formulas), and twelve
// processing steps with UndoLimit 10 and DiskUndo 3 (time and peak memory).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "image/kwbitmap.h"
#include "platform/sysutils.h"

namespace {

constexpr int kW = 6000, kH = 4000;

void FillRandom(TBitmap& b, int w, int h, uint32_t seed) {
  b.SetPixelFormat(pf32bit);
  b.SetSize(w, h);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    uint32_t* row = b.Row32(y);
    for (int x = 0; x < w; ++x) row[x] = rng();
  }
}

// Peak resident memory of the process in KiB (VmHWM), and its reset.
long PeakKiB() {
  std::ifstream in("/proc/self/status");
  std::string key;
  long v = 0;
  while (in >> key) {
    if (key == "VmHWM:") {
      in >> v;
      return v;
    }
    in.ignore(1 << 12, '\n');
  }
  return -1;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void BM_CombineAlpha(benchmark::State& state) {
  NormalAlphaBlending = state.range(0) != 0;
  TKWBitmap pred, res;
  FillRandom(pred, kW, kH, 1);
  FillRandom(res, kW, kH, 2);
  pred.HasAlpha = res.HasAlpha = true;
  for (auto _ : state) {
    pred.CombineAlpha(res);  // in place; the cost does not depend on the values
    benchmark::DoNotOptimize(res.Row32(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
  NormalAlphaBlending = true;
}
BENCHMARK(BM_CombineAlpha)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The formula as written: long double products, rounding through Round.
void BM_CombineAlphaPlainLoop(benchmark::State& state) {
  TBitmap pred, res;
  FillRandom(pred, kW, kH, 1);
  FillRandom(res, kW, kH, 2);
  for (auto _ : state) {
    for (int y = 0; y < kH; ++y) {
      const uint32_t* p = pred.Row32(y);
      uint32_t* r = res.Row32(y);
      for (int x = 0; x < kW; ++x) {
        const float a = float(r[x] >> 24) / 255.0f, b = 1.0f - a;
        uint32_t out = r[x] & 0xFF000000u;
        for (int s = 0; s < 24; s += 8)
          out |= uint32_t(Round((long double)((p[x] >> s) & 0xFF) * b +
                                (long double)((r[x] >> s) & 0xFF) * a))
                 << s;
        r[x] = out;
      }
    }
    benchmark::DoNotOptimize(res.Row32(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_CombineAlphaPlainLoop)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_AlphaFromImage(benchmark::State& state) {
  TKWBitmap img;
  FillRandom(img, kW, kH, 3);
  for (auto _ : state) {
    img.AlphaFromImage(img);
    benchmark::DoNotOptimize(img.Row32(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_AlphaFromImage)->Unit(benchmark::kMillisecond);

void BM_AlphaFromImagePlainLoop(benchmark::State& state) {
  TBitmap img;
  FillRandom(img, kW, kH, 3);
  for (auto _ : state) {
    for (int y = 0; y < kH; ++y) {
      uint32_t* row = img.Row32(y);
      for (int x = 0; x < kW; ++x) {
        const uint32_t s = row[x];
        const long double v = 0.1140105L * (s & 0xFF) + 0.58701L * ((s >> 8) & 0xFF) +
                              0.2989875L * ((s >> 16) & 0xFF);
        row[x] = (s & 0x00FFFFFFu) | (uint32_t(Round(v)) << 24);
      }
    }
    benchmark::DoNotOptimize(img.Row32(0));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kW) * kH);
}
BENCHMARK(BM_AlphaFromImagePlainLoop)->Unit(benchmark::kMillisecond)->Iterations(1);

class Invert : public TKWBasicFilter {
 public:
  void Filter(TBitmap* Src, TBitmap* Dst) override {
    for (int y = 0; y < Dst->Height(); ++y) {
      const uint32_t* s = Src->Row32(y);
      uint32_t* d = Dst->Row32(y);
      for (int x = 0; x < Dst->Width(); ++x) d[x] = s[x] ^ 0x00FFFFFFu;
    }
  }
};

// Twelve steps from a fresh image; the swap files go to a folder of the run's own.
void BM_TwelveSteps(benchmark::State& state) {
  const int w = int(state.range(0)), h = int(state.range(1));
  char tmpl[] = "/tmp/kwimage_bench_XXXXXX";
  if (!mkdtemp(tmpl)) {
    state.SkipWithError("no temp folder");
    return;
  }
  SetUndoDataDir(std::string(tmpl) + "/UndoData");
  DiskUndo = 3;
  auto filter = TKWProcessor::Create<Invert>();
  TBitmap source;
  FillRandom(source, w, h, 4);
  long peak = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto* cur = new TKWBitmap;
    cur->CopyImage(source);
    cur->UndoLimit = 10;
    ResetPeak();
    const long base = PeakKiB();
    state.ResumeTiming();
    for (int i = 0; i < 12; ++i) {
      auto* next = new TKWBitmap;
      cur->ApplyFilter(next, filter.get());
      cur = next;
    }
    state.PauseTiming();
    peak = std::max(peak, PeakKiB() - base);
    cur->ClearHistory();
    delete cur;
    state.ResumeTiming();
  }
  state.counters["peak_MiB_above_start"] = double(peak) / 1024.0;
  state.counters["image_MiB"] = double(w) * h * 4 / (1024.0 * 1024.0);
  std::filesystem::remove_all(tmpl);
  SetUndoDataDir("");
}
BENCHMARK(BM_TwelveSteps)->Args({1500, 1000})->Args({6000, 4000})->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
