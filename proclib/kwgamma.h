// Gamma correction: a gamma curve on the luminance or on each of red, green
// and blue; chosen by hand, found from the histogram, or read from a
// tone-curve file.
#pragma once

#include <cstdint>
#include <string>

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

class THistgram;

struct TGammaPack : TKWParamPack {
  explicit TGammaPack(TKWProcessor* proc = nullptr) : TKWParamPack(proc) {
    SetDefaults(Table(), *this);
  }
  float Gamma;
  bool YCurve, RCurve, GCurve, BCurve;  // curve display, not parameters
  bool AutoGamma;
  bool UseToneFile;
  bool Color;
  float GammaR, GammaG, GammaB;
  std::string ToneFileName;
  static const TParamTable<TGammaPack>& Table();
};

using TToneTable = int32_t[256];

class TKWGamma : public TTableProcessor<TGammaPack, TKWBasicFilter> {
 public:
  using TTableProcessor::TTableProcessor;
  void Filter(TBitmap* Src, TBitmap* Dst) override;
  void OnImageChange(TBitmap* Image) override;

  // Table[i] = Round(255 * (i / 255)^(1 / x)).
  static void MakeTable(TToneTable& table, float x);
  // The gamma (0.50 to 3.00) whose table makes the cumulative histogram of
  // H closest to a straight line; 1.0 when none is closer than 1e100.
  static float CalcAutoGamma(const uint32_t H[256], int max = 255);

  // Reads a tone-curve file into the working tables unless it is the file
  // last read and unchanged.  Format errors show a dialog and change nothing
  // (returns false); a file that cannot be opened raises EInOutError.
  bool LoadToneCurve(const std::string& FileName);
  // Writes the current curve (after UpdateParam) as a tone-curve file.
  void SaveToneCurve(const std::string& FileName);
  // Working tables from the pack's gamma values (no auto gamma).
  void BuildTables();

  // Working tables (the curves the filter applies) and the tables last read.
  TToneTable TableY{}, TableR{}, TableG{}, TableB{};
  TToneTable LoadedY{}, LoadedR{}, LoadedG{}, LoadedB{};
  std::string LoadedName;
  int64_t LoadedDate = 0;
  bool LoadedColor = false;

  THistgram* Histogram = nullptr;  // the panel's worker, not owned

 private:
  void applyColor(TBitmap* Src, TBitmap* Dst);
  void applyLuminance(TBitmap* Src, TBitmap* Dst);
};

// The texts of the tone-curve file's dialogs.
extern const char* const kToneFormatError;
extern const char* const kToneRawOnly;

}  // namespace kwlib
