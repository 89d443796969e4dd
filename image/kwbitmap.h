// TKWBitmap: the working image of a document.  A 32-bit bitmap (B, G, R, A
// per pixel) that also knows its place in the document's undo/redo chain,
// whether its A bytes hold an alpha channel, its file and operation names,
// and how much history is kept in memory and on disk.
//
// Ownership of the chain: the view owns the current image; every other image
// reachable through Prev/Next belongs to the chain and is freed by
// ClearRedo, ClearHistory and TrimHistory.  Images are linked with raw
// pointers because an image frees its neighbours explicitly.
//
// No Qt here: pixel work goes through TBitmap rows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/bitmap.h"
#include "platform/types.h"
#include "procdef/kwproc.h"

// ---- unit settings (the options dialog writes them; start values below) ----

// Quality of JPEG files written by SaveToFile.
extern int JPEGQuality;  // 75
// How a predecessor of another size is fitted: 0 tile, 1 stretch.
extern uint8_t ResizeMode;  // 1
// History images at this position or further back live in swap files;
// 0 or less: never swapped.
extern int DiskUndo;  // 3
// true: the result's own alpha says how much of it shows over the
// predecessor; false: the predecessor's alpha protects it.
extern bool NormalAlphaBlending;  // true
// Number of the next swap file.
extern int UndoFileCounter;  // 0

// Folder of the swap files, with a trailing '/'.  By default the process's
// private swap folder (KWSwapFolder, made on first use); raises EInOutError
// when no place takes it.
std::string UndoDataDir();
// Moves the swap files of images swapped out from now on to dir (tests and
// benchmarks).  An empty dir restores the default.
void SetUndoDataDir(const std::string& dir);

// Progress of pixel loops, 0..10000; 0 after a loop means "done".  The main
// window installs the sink; without one progress goes nowhere.
using TProgressSink = std::function<void(int value)>;
void SetProgressSink(TProgressSink sink);

// Called on the swap writer's thread when a background write has failed;
// the main window hands it to its own thread to run
// TKWBitmap::CollectSwapResults.  Without one, failures are settled at the
// next step, undo or swap-in.
void SetSwapFailureNotifier(std::function<void()> notify);

// Where the foreground of a mix lies on the background.
struct TMixOrigin {
  int32_t X = 0;  // top-left foreground pixel in background coordinates
  int32_t Y = 0;
  bool Clipping = false;  // the result is only the overlapping area
};

// The foreground of a mix does not touch the background.
class ENoMixArea : public Exception {
 public:
  ENoMixArea() : Exception("合成する領域がありません。") {}
};

// A history image could not be moved to or read back from its swap file.
// The image keeps its pixels where they were (in memory, or in the file).
// SwapOut and SwapIn raise it; a trim keeps an image that cannot be swapped
// out in memory and warns once per process instead.
class ESwapError : public EInOutError {
 public:
  using EInOutError::EInOutError;
};

// A log entry for an operation that is not a processor: one script line.
class TKWGenericParamPack : public TKWParamPack {
 public:
  TKWGenericParamPack() = default;
  explicit TKWGenericParamPack(const std::string& Text) : LogText(Text) {}
  std::string LogText;
};

class TKWBitmap : public TBitmap {
 public:
  TKWBitmap();
  // Deletes the swap file when the pixels are on disk.  Prev and Next are not
  // touched.
  ~TKWBitmap() override;

  // New image read from fileName (OperationName "開く").
  static std::unique_ptr<TKWBitmap> CreateFromFile(const std::string& fileName);

  TKWBitmap* Prev = nullptr;
  TKWBitmap* Next = nullptr;
  bool HasAlpha = false;
  std::string FileName;
  std::string OperationName;
  int32_t UndoLimit = -1;  // negative: unlimited
  bool OnDisk = false;
  std::string TempFileName;

  // From a TKWBitmap also takes Prev, Next, UndoLimit, FileName and HasAlpha
  // (the copy is not linked: nothing points to it).  The pixels end up 32-bit.
  void Assign(const TBitmap& Source) override;
  // Takes the size and pixels of Source (drawn at 0, 0); from a TKWBitmap also
  // HasAlpha and UndoLimit.  Links and names stay.
  void CopyImage(const TBitmap& Source);

  // Reader by extension (case-insensitive): .JPG/.JPEG, .PNG, anything else
  // through the plug-in aware reader (BMP itself).  The file is decoded
  // straight into this image when it is empty, otherwise into a bitmap whose
  // pixels then replace this image's: on failure this image is unchanged (an
  // empty one stays empty).  OperationName becomes "開く".
  void LoadFromFile(const std::string& fileName) override;
  // Writer by extension: .BMP (32-bit with HasAlpha, else 24-bit), .JPG/.JPEG
  // (JPEGQuality), .PNG (RGBA with HasAlpha, else RGB).  Other extensions
  // write nothing.  Then, with unlimited undo (UndoLimit < 0), ClearHistory.
  void SaveToFile(const std::string& fileName);
  // The write alone (what a const image can do): no history change.
  void SaveToFile(const std::string& fileName) const override;

  // Processing steps, called on the current image with a fresh empty Dest;
  // Dest ends as the successor, linked after this image.  Careful: with
  // UndoLimit 0 this image is freed by the step (only Dest is kept), so the
  // caller must not touch it afterwards.  A processor that raises leaves the
  // chain as it was.
  void ApplyFilter(TKWBitmap* Dest, TKWBasicFilter* Filter);
  // This image is the background.  No overlap: ENoMixArea, nothing changed.
  void ApplyMixer(TKWBitmap* Dest, TBitmap* Foreground, const TMixOrigin& Placement,
                  TKWBasicMixer* Mixer);
  // Width/Height 0: this image's width/height.  A size that is not at least
  // 1 x 1 or beyond what an image may hold raises (CheckGeneratedSize).
  void ApplyGenerator(TKWBitmap* Dest, TKWBasicGenerator* Generator, int Width, int Height);

  // History.
  void AppendSuccessor(TKWBitmap* Successor);
  void ClearRedo();
  void ClearHistory();
  void SetUndoLimit(int32_t N);
  void TrimHistory(bool Propagate);
  // Moves the pixels to a swap file (32-bit BMP, created exclusively) and
  // keeps a 1 x 1 bitmap.  A failed write deletes the partial file, keeps
  // the pixels and raises ESwapError.
  void SwapOut();
  // Reads the swap file back and deletes it.  A failed read raises
  // ESwapError and leaves the image on disk.  An image whose background
  // write (SwapOutLater) has not finished gets its pixels back at once,
  // waiting at most for the piece being written.
  void SwapIn();
  // SwapOut in the background, what a trim uses: the swap file is made here
  // (failures raise ESwapError as SwapOut's do), the image is OnDisk and
  // 1 x 1 at once, and the swap writer, a thread of its own, writes the
  // pixels and lets them go.  A write that fails gives the pixels back to
  // the image (no longer OnDisk) the next time the program looks
  // (CollectSwapResults, a trim, SwapIn, freeing the image), with the
  // warning a trim gives.  Waits only when more than a few writes are
  // already pending, so that memory stays bounded on a slow disk.
  void SwapOutLater();
  // Settles the background writes that have ended: failed ones put their
  // images back in memory and are reported.  Main thread only.
  static void CollectSwapResults();
  // Waits until the swap writer has nothing left to do (tests, benchmarks).
  static void WaitForSwapWriter();

  // Alpha channel.
  void FillAlpha(uint8_t Value);
  // A := luminance of Source (stretched to this size when it differs);
  // Source may be this image.
  void AlphaFromImage(const TBitmap& Source);
  void InvertAlpha();
  // 8-bit gray picture of the alpha channel, or a plain copy without alpha.
  void AlphaToGray(TBitmap& Dest) const;
  // Called on the predecessor with a processing result.
  void CombineAlpha(TKWBitmap& Result) const;

  // Overlap of Foreground placed at Placement on Background; false when none.
  static bool GetMixArea(const TBitmap& Background, const TBitmap& Foreground,
                         const TMixOrigin& Placement, TRect& ForeRect, TRect& BackRect);
  // Draws Source over the whole of Dest by ResizeMode (tile or stretch).
  static void DrawFitted(const TBitmap& Source, TBitmap& Dest);

  // Sends Row * 10000 div Height() to the progress sink.
  void ReportProgress(int Row) const;

 private:
  // Turns the pixels to pf32bit when something made them otherwise.
  void Ensure32();
  // Makes the swap folder when needed and creates the next free swap file
  // (its name in name), the pixels 32-bit; raises ESwapError.
  int CreateSwapFile(std::string& name);
  // Replaces size and pixels by those of src (as a 32-bit copy).
  void TakePixels(const TBitmap& src);
  // Takes the pixels of src, which is left with this image's old ones (made
  // 32-bit first when they are not).
  void MovePixels(TBitmap& src);
  void FinishStep(TKWBitmap* Dest, TKWProcessor* Processor);
  // Ends the background write of this image: a write not started is
  // dropped, one under way stops at its next piece.  Afterwards the image is
  // either in memory again (its partial file deleted; true, with the
  // write's error in why when it had failed) or completely in its file
  // (false).
  bool stopSwapWrite(std::string& why);
  std::shared_ptr<struct TSwapJob> swapJob_;
};

// Raises Exception with the user's message when a generator may not make a
// width x height image (less than 1 x 1, or larger than an image may be).
void CheckGeneratedSize(int64_t width, int64_t height);

// Whether any pixel of a pf32bit bitmap has an A byte other than 0 (other
// formats have none).
bool HasAnyAlpha(const TBitmap& Bitmap);

// Pixel kernels of the alpha operations, exposed so that tests can hold them
// against the plain formulas.
namespace kwbitmap_detail {
// Nearest integer, halves to even, of 0 <= v < 2^51.
uint32_t RoundNonNegative(double v);
// One row of CombineAlpha: pred and res have n pixels; res is rewritten.
void CombineRow(const uint32_t* pred, uint32_t* res, int n, bool normal);
// Alpha byte from B, G, R by the luminance weights.
uint8_t LumaAlpha(uint32_t bgr);
}  // namespace kwbitmap_detail
