// Gradation: a linear or circular ramp through up to five control points
// per channel, repeated as a mirror image beyond its ends.
#pragma once

#include <cstdint>

#include "procdef/kwproc.h"
#include "proclib/paramtable.h"

namespace kwlib {

struct TKWGradationPack : TKWGeneratorPack {
  explicit TKWGradationPack(TKWProcessor* proc = nullptr) : TKWGeneratorPack(proc) {
    SetDefaults(Table(), *this);
  }
  int32_t R_Begin, G_Begin, B_Begin;
  int32_t R_End, G_End, B_End;
  int32_t Style;  // 0 linear, 1 circle
  float OffsetX, OffsetY;  // fractions of the width and height
  float Rotate;            // degrees
  float Scale;             // 1.0 = 100 %
  int32_t R_Value_1, R_Value_2, R_Value_3, R_Value_4, R_Value_5;
  int32_t G_Value_1, G_Value_2, G_Value_3, G_Value_4, G_Value_5;
  int32_t B_Value_1, B_Value_2, B_Value_3, B_Value_4, B_Value_5;
  float R_Pos_1, R_Pos_2, R_Pos_3, R_Pos_4, R_Pos_5;
  float G_Pos_1, G_Pos_2, G_Pos_3, G_Pos_4, G_Pos_5;
  float B_Pos_1, B_Pos_2, B_Pos_3, B_Pos_4, B_Pos_5;
  bool Smooth;  // kept with the settings, no effect

  // Control point n (0..4) of channel ch (0 red, 1 green, 2 blue).
  int32_t& Value(int ch, int n) { return this->*kValues[ch][n]; }
  float& Pos(int ch, int n) { return this->*kPositions[ch][n]; }
  int32_t Value(int ch, int n) const { return this->*kValues[ch][n]; }
  float Pos(int ch, int n) const { return this->*kPositions[ch][n]; }
  int32_t& Begin(int ch) { return this->*kBegins[ch]; }
  int32_t& End(int ch) { return this->*kEnds[ch]; }

  static const TParamTable<TKWGradationPack>& Table();

 private:
  static int32_t TKWGradationPack::* const kValues[3][5];
  static float TKWGradationPack::* const kPositions[3][5];
  static int32_t TKWGradationPack::* const kBegins[3];
  static int32_t TKWGradationPack::* const kEnds[3];
};

class TKWGradation : public TTableProcessor<TKWGradationPack, TKWBasicGenerator> {
 public:
  static constexpr int kTableSize = 2048;
  // Degrees to radians as the gradation has always converted them.
  static constexpr double kDegree = 3.142592654 / 180;

  using TTableProcessor::TTableProcessor;
  void Generator(TBitmap* Bitmap) override;

  // The three channel tables of Count entries each.  Prunes the control
  // points outside (0, 1) from the settings pack and sorts the rest there.
  void MakeGradTable(int32_t* TR, int32_t* TG, int32_t* TB, int Count);
  // One channel's table; v and p are its five control points, n of them
  // valid and sorted.
  static void ChannelTable(int32_t* T, int Count, int32_t Begin, int32_t End,
                           const int32_t* v, const float* p, int n);
  // Removes the points outside (0, 1) (moving the later ones down) and
  // sorts the rest by position; returns how many remain.
  static int PrunePoints(int32_t* v, float* p);

  // The mirror fold of a table index into 0..2047.
  // The shift is a floor division, so q counts the 2048s added or taken
  // away; 2047 - r is r ^ 2047.
  static int Fold(int64_t u) {
    const int64_t q = u >> 11;
    const int r = int(u & (kTableSize - 1));
    return (q & 1) ? r ^ (kTableSize - 1) : r;
  }
};

}  // namespace kwlib
