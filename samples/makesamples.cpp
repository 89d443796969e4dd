// Writes the sample pictures of the demo scripts: small 24-bit BMP files
// drawn here, so that nothing binary is kept in the sources.
//   makesamples FOLDER
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/bitmap.h"

namespace {

uint32_t rgb(double r, double g, double b) {
  auto c = [](double v) { return uint32_t(std::lround(std::fmin(255.0, std::fmax(0.0, v)))); };
  return (c(r) << 16) | (c(g) << 8) | c(b);
}

// A landscape: sky, sun, two rows of hills and a lake.
void landscape(TBitmap& b) {
  const int w = b.Width(), h = b.Height();
  for (int y = 0; y < h; ++y) {
    uint32_t* row = b.Row32(y);  // row 0 is the top row
    for (int x = 0; x < w; ++x) {
      const double t = double(y) / h;
      uint32_t p = rgb(90 + 120 * t, 150 + 80 * t, 250 - 30 * t);
      const double sx = x - 0.72 * w, sy = y - 0.25 * h;
      if (sx * sx + sy * sy < 0.01 * w * w) p = rgb(255, 220, 80);
      const double hill1 = 0.55 * h + 0.08 * h * std::sin(x * 0.05);
      const double hill2 = 0.68 * h + 0.06 * h * std::sin(x * 0.09 + 1.5);
      if (y > hill1) p = rgb(60, 140 + 40 * std::sin(x * 0.3), 70);
      if (y > hill2) p = rgb(40, 100 + 30 * std::sin(x * 0.21 + y * 0.1), 50);
      if (y > 0.82 * h) p = rgb(40, 90 + 30 * std::sin(x * 0.4 + y), 200);
      row[x] = p;
    }
  }
}

// A flower on a dark ground: petals by angle, a yellow heart.
void flower(TBitmap& b) {
  const int w = b.Width(), h = b.Height();
  for (int y = 0; y < h; ++y) {
    uint32_t* row = b.Row32(y);
    for (int x = 0; x < w; ++x) {
      const double dx = x - w / 2.0, dy = y - h / 2.0;
      const double r = std::sqrt(dx * dx + dy * dy) / (w / 2.0);
      const double a = std::atan2(dy, dx);
      const double petal = 0.55 + 0.35 * std::cos(6 * a);
      uint32_t p = rgb(20, 30 + 40 * r, 35);
      if (r < petal) p = rgb(230 - 60 * r, 60 + 80 * r, 150 + 60 * r);
      if (r < 0.18) p = rgb(250, 210 - 200 * r, 40);
      row[x] = p;
    }
  }
}

// Colour bars above a checkerboard and a gray ramp.
void tiles(TBitmap& b) {
  const int w = b.Width(), h = b.Height();
  static const uint32_t bars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00,
                                  0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
  for (int y = 0; y < h; ++y) {
    uint32_t* row = b.Row32(y);
    for (int x = 0; x < w; ++x) {
      uint32_t p;
      if (y < h / 2) {
        p = bars[x * 8 / w];
      } else if (y < 3 * h / 4) {
        p = ((x / 10 + y / 10) % 2) ? 0xC0C0C0 : 0x404040;
      } else {
        const uint32_t g = uint32_t(x * 255 / (w - 1));
        p = g * 0x010101u;
      }
      row[x] = p;
    }
  }
}

void write(const std::string& folder, const char* name, int w, int h, void (*draw)(TBitmap&)) {
  TBitmap b;
  b.SetPixelFormat(pf32bit);
  b.SetSize(w, h);
  draw(b);
  b.SetPixelFormat(pf24bit);
  b.SaveToFile(folder + "/" + name);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: makesamples FOLDER\n");
    return 2;
  }
  try {
    write(argv[1], "Landscape.bmp", 240, 160, landscape);
    write(argv[1], "Flower.bmp", 120, 120, flower);
    write(argv[1], "Tiles.bmp", 240, 160, tiles);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "makesamples: %s\n", e.what());
    return 1;
  }
  return 0;
}
