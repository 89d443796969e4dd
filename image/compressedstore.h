// The compressed image store: a bitmap kept as a block of bytes
// ("CompressedData") that holds its BMP file delta-coded and deflated.
//
// Block layout:
//   0  4  length N of the zlib stream (little-endian, signed; N < 1: no data)
//   4  N  zlib stream (header, deflate data, Adler-32) at the default level
// The stream inflates to one byte d (delta distance 0..4) followed by the
// complete BMP file, each byte i >= d stored as b[i] - b[i - d] (mod 256).
// d follows the bits per pixel: 1, 4 and 8 bits give 1, 16 gives 2, 24 gives
// 3, 32 gives 4, anything larger 0 (no delta coding).
//
// The splash window's logo (320 x 240, 24-bit) is built into the program in
// this form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/bitmap.h"
#include "platform/types.h"

class TKWBitmap;

// A damaged or truncated block.
class ECompressedData : public EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
};

// Delta distance for a BMP bit count.
int DeltaDistance(int bitCount);
// In place, from the last byte down to byte d / from byte d upwards.
void DeltaEncode(std::vector<uint8_t>& bytes, int d);
void DeltaDecode(std::vector<uint8_t>& bytes, int d);

// Block of a BMP file given as bytes (the bit count is read from its
// information header; raises ECompressedData when the file is too short).
std::vector<uint8_t> CompressBMPFile(std::vector<uint8_t> bmpFile);
// Block of a bitmap (its standard BMP file).
std::vector<uint8_t> CompressBitmap(const TBitmap& bitmap);

// Inflates a block into the BMP file bytes.  False when the length field says
// there is no data (bmpFile is then empty).  A block that is damaged, shorter
// than its length field, or inflates to more than a bitmap may hold raises
// ECompressedData.
bool DecompressBMPFile(const uint8_t* data, size_t size, std::vector<uint8_t>& bmpFile);
// The same, read into bitmap.  False (bitmap unchanged) when there is no
// data; on any failure bitmap is unchanged too.
bool LoadCompressedBitmap(const uint8_t* data, size_t size, TBitmap& bitmap);

// The program's logo, 320 x 240.
std::unique_ptr<TKWBitmap> LoadLogo();
// The stored block of the logo (built into the program).
const std::vector<uint8_t>& LogoData();
