#include "proclib/kwpurclr.h"

#include "platform/canvas.h"
#include "proclib/kwfilterutil.h"

namespace kwlib {

const TParamTable<TPureColorPack>& TPureColorPack::Table() {
  using P = TPureColorPack;
  static const TParamTable<P> t = {
      IntParam<P>("Red", "Red", &P::Red, 0).In("0..255"),
      IntParam<P>("Green", "Green", &P::Green, 0).In("0..255"),
      IntParam<P>("Blue", "Blue", &P::Blue, 0).In("0..255"),
  };
  return t;
}

TColor TKWPureColor::FillColor(int32_t Red, int32_t Green, int32_t Blue) {
  return uint32_t(Red) + 256u * uint32_t(Green) + 65536u * uint32_t(Blue);
}

void TKWPureColor::Generator(TBitmap* Bitmap) {
  if (!Bitmap) throw Exception("The generator needs a bitmap.");
  const TPureColorPack& p = *settings_;
  // The canvas keeps the low 24 bits of the colour; a blue above 255
  // therefore wraps within the blue byte.
  TCanvas& c = Bitmap->Canvas();
  const TBrushStyle oldStyle = c.Brush.Style;
  const TColor oldColor = c.Brush.Color;
  c.Brush.Style = TBrushStyle::bsSolid;
  c.Brush.Color = FillColor(p.Red, p.Green, p.Blue);
  try {
    const int W = Bitmap->Width();
    // Bands of rows at once; no progress, as before.
    SpreadRows(Bitmap->Height(), 32, [&](int y0, int y1) { c.FillRect(Rect(0, y0, W, y1)); }, [](int) {});
  } catch (...) {
    c.Brush.Style = oldStyle;
    c.Brush.Color = oldColor;
    throw;
  }
  c.Brush.Style = oldStyle;
  c.Brush.Color = oldColor;
}

}  // namespace kwlib
