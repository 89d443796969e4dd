#include "proclib/kwgamma.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "platform/readfile.h"
#include "platform/stringlist.h"
#include "platform/sysutils.h"
#include "proclib/kwfilterutil.h"
#include "proclib/kwhistgram.h"
#include "proclib/luminance.h"
#include "proclib/tonecurve.h"
#include "ui/messages.h"

namespace kwlib {

const char* const kToneFormatError =
    "読み込みに失敗しました。フォーマットが正しくありません。\r\nエラーが発生した行： ";
const char* const kToneRawOnly =
    "現在のバージョンでは、256点指定のRAWモードのみサポートしております。";

const TParamTable<TGammaPack>& TGammaPack::Table() {
  // Parameters first, in the order MakeList registers them; then the
  // curve-display flags, which only the settings file keeps.
  using P = TGammaPack;
  static const TParamTable<P> t = {
      SingleParam<P>("Gamma", "Gamma", &P::Gamma, 1.0f).In("0.01..5"),
      BoolParam<P>("Color", "Color", &P::Color, false),
      SingleParam<P>("GammaR", "Gamma_R", &P::GammaR, 1.0f).In("0.01..5"),
      SingleParam<P>("GammaG", "Gamma_G", &P::GammaG, 1.0f).In("0.01..5"),
      SingleParam<P>("GammaB", "Gamma_B", &P::GammaB, 1.0f).In("0.01..5"),
      BoolParam<P>("AutoGamma", "AutoGamma", &P::AutoGamma, false),
      BoolParam<P>("UseToneFile", "UseToneFile", &P::UseToneFile, false),
      StringParam<P>("ToneFileName", "ToneFileName", &P::ToneFileName, ""),
      BoolParam<P>(nullptr, "Y_Curve", &P::YCurve, true),
      BoolParam<P>(nullptr, "R_Curve", &P::RCurve, true),
      BoolParam<P>(nullptr, "G_Curve", &P::GCurve, true),
      BoolParam<P>(nullptr, "B_Curve", &P::BCurve, true),
  };
  return t;
}

void TKWGamma::MakeTable(TToneTable& table, float x) {
  const long double a = 1.0L / (long double)x;
  const long double k = 1.0L / std::pow(255.0L, a - 1.0L);
  table[0] = 0;
  for (int i = 1; i < 256; ++i) {
    long double v = std::pow((long double)i, a) * k;
    // Gammas of zero or below (reachable from scripts) give values out of
    // any sensible range: keep them inside 32 bits instead of overflowing.
    if (std::isnan(v))
      table[i] = 0;
    else if (v >= (long double)INT32_MAX)
      table[i] = INT32_MAX;
    else if (v <= (long double)INT32_MIN)
      table[i] = INT32_MIN;
    else
      table[i] = int32_t(Round(v));
  }
}

float TKWGamma::CalcAutoGamma(const uint32_t H[256], int) {
  double sum = 0;
  for (int j = 0; j < 256; ++j) sum += H[j];
  const double mean = sum / 256.0;
  float best = 1.0f;
  double bestErr = 1e100;
  auto tryGamma = [&](float g) {
    TToneTable T;
    MakeTable(T, g);
    double M[256] = {};
    for (int j = 0; j < 256; ++j) M[std::clamp(T[j], 0, 255)] += H[j];
    for (int j = 1; j < 256; ++j) M[j] += M[j - 1];
    double err = 0;
    for (int j = 0; j < 256; ++j) {
      double e = M[j] - (j + 1) * mean;
      err += e * e;
      if (err > bestErr) return;
    }
    if (err < bestErr) {
      bestErr = err;
      best = g;
    }
  };
  for (int i = 0; i <= 50; ++i) tryGamma(float(i * 0.01 + 0.5));
  for (int i = 1; i <= 100; ++i) tryGamma(float(i * 0.02 + 1));
  return best;
}

void TKWGamma::BuildTables() {
  MakeTable(TableY, settings_->Gamma);
  MakeTable(TableR, settings_->GammaR);
  MakeTable(TableG, settings_->GammaG);
  MakeTable(TableB, settings_->GammaB);
}

namespace {

int64_t FileDate(const std::string& name) {
  std::error_code ec;
  auto t = std::filesystem::last_write_time(name, ec);
  if (ec) return INT64_MIN;
  return int64_t(t.time_since_epoch().count());
}

constexpr uint64_t kMaxToneFileSize = kKWMaxTextFileSize;

}  // namespace

bool TKWGamma::LoadToneCurve(const std::string& FileName) {
  const int64_t date = FileDate(FileName);
  if (!(FileName == LoadedName && date == LoadedDate && date != INT64_MIN)) {
    // Only a regular file within the size limit; anything else (a FIFO, a
    // device) raises EInOutError naming the file.
    const TToneCurveText t = ParseToneCurve(KWReadRegularFile(FileName, kMaxToneFileSize));
    if (t.Result == TToneCurveText::TResult::FormatError) {
      ShowError(std::string(kToneFormatError) + t.Offending);
      return false;
    }
    if (t.Result == TToneCurveText::TResult::NotRaw) {
      ShowInfo(kToneRawOnly);
      return false;
    }
    if (t.Color) {
      std::copy(t.R, t.R + 256, LoadedR);
      std::copy(t.G, t.G + 256, LoadedG);
      std::copy(t.B, t.B + 256, LoadedB);
    } else {
      std::copy(t.Y, t.Y + 256, LoadedY);
    }
    const bool color = t.Color;
    LoadedName = FileName;
    LoadedDate = date;
    LoadedColor = color;
  }
  if (LoadedColor) {
    std::copy(LoadedR, LoadedR + 256, TableR);
    std::copy(LoadedG, LoadedG + 256, TableG);
    std::copy(LoadedB, LoadedB + 256, TableB);
  } else {
    std::copy(LoadedY, LoadedY + 256, TableY);
  }
  return true;
}

void TKWGamma::SaveToneCurve(const std::string& FileName) {
  UpdateParam();
  bool color = settings_->Color;
  if (settings_->UseToneFile) {
    LoadToneCurve(settings_->ToneFileName);
    color = LoadedColor;
  } else if (color) {
    MakeTable(TableR, settings_->GammaR);
    MakeTable(TableG, settings_->GammaG);
    MakeTable(TableB, settings_->GammaB);
  } else {
    MakeTable(TableY, settings_->Gamma);
  }
  std::string out;
  char buf[96];
  out += "Varoka_tone_curve,1.0\r\n";
  out += color ? "RGBColor,1\r\n" : "RGBColor,0\r\n";
  out += "RAW,1\r\n";
  out += color ? "NumPoint_Y,0\r\n" : "NumPoint_Y,256\r\n";
  const char* n = color ? "256" : "0";
  out += std::string("NumPoint_R,") + n + "\r\nNumPoint_G," + n + "\r\nNumPoint_B," + n + "\r\n";
  out += "\r\n";
  out += color ? "input_R,output_R,input_G,output_G,input_B,output_B\r\n" : "input_Y,output_Y\r\n";
  out += "data\r\n";
  for (int i = 0; i < 256; ++i) {
    if (color)
      std::snprintf(buf, sizeof buf, "%d,%d,%d,%d,%d,%d\r\n", i, TableR[i], i, TableG[i], i, TableB[i]);
    else
      std::snprintf(buf, sizeof buf, "%d,%d\r\n", i, TableY[i]);
    out += buf;
  }
  std::ofstream f(FileName, std::ios::binary | std::ios::trunc);
  if (!f) throw EInOutError("Cannot create file \"" + FileName + "\".");
  f << out;
  f.close();
  if (!f) throw EInOutError("Cannot write file \"" + FileName + "\".");
}

void TKWGamma::applyColor(TBitmap* Src, TBitmap* Dst) {
  uint8_t tr[256], tg[256], tb[256];
  for (int i = 0; i < 256; ++i) {
    tr[i] = uint8_t(TableR[i]);
    tg[i] = uint8_t(TableG[i]);
    tb[i] = uint8_t(TableB[i]);
  }
  MapPixels(this, Src, Dst, [&](uint32_t p) { return MapChannels(p, tb, tg, tr); });
}

void TKWGamma::applyLuminance(TBitmap* Src, TBitmap* Dst) {
  // Result of every (luminance, channel) pair: f = Y-table[y] / y in double,
  // the product in extended precision, rounded, at most 255.
  // One table shared by the threads that map the rows.
  const auto lut = std::make_unique<uint8_t[][256]>(256);
  for (int y = 0; y < 256; ++y) {
    double f = y == 0 ? 1.0 : double(TableY[y]) / y;
    for (int v = 0; v < 256; ++v) {
      long double p = (long double)f * v;
      int64_t r = p >= 255.0L ? 255 : p <= -2147483648.0L ? 0 : Round(p);
      lut[y][v] = uint8_t(r);
    }
  }
  MapPixels(this, Src, Dst, [t = lut.get()](uint32_t p) {
    const uint8_t* row = t[RoundLuminance(p)];
    return MapChannels(p, row, row, row);
  });
}

void TKWGamma::Filter(TBitmap* Src, TBitmap* Dst) {
  CheckFilterBitmaps(Src, Dst);
  const TGammaPack& p = *settings_;
  bool color = p.Color;
  if (p.UseToneFile) {
    LoadToneCurve(p.ToneFileName);
    color = LoadedColor;
  }
  if (color) {
    if (!p.UseToneFile) {
      if (p.AutoGamma) {
        THistArrays hist;
        CountHistograms(*Src, true, hist);
        MakeTable(TableR, CalcAutoGamma(hist.R, 255));
        MakeTable(TableG, CalcAutoGamma(hist.G, 255));
        MakeTable(TableB, CalcAutoGamma(hist.B, 255));
      } else {
        MakeTable(TableR, p.GammaR);
        MakeTable(TableG, p.GammaG);
        MakeTable(TableB, p.GammaB);
      }
    }
    applyColor(Src, Dst);
  } else {
    if (!p.UseToneFile) {
      if (p.AutoGamma) {
        THistArrays hist;
        CountHistograms(*Src, false, hist);
        MakeTable(TableY, CalcAutoGamma(hist.Y, 255));
      } else {
        MakeTable(TableY, p.Gamma);
      }
    }
    applyLuminance(Src, Dst);
  }
}

void TKWGamma::OnImageChange(TBitmap* Image) {
  if (Histogram && Image) Histogram->Request(*Image);
}

}  // namespace kwlib
