#include "image/kwbitmap.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <exception>
#include <utility>

#include "imageio/fileio.h"
#include "imageio/jpegio.h"
#include "imageio/kwpng.h"
#include "imageio/spi.h"
#include "platform/canvas.h"
#include "platform/ownedfiles.h"
#include "procdef/kwmessages.h"
#include "platform/stringlist.h"
#include "platform/sysutils.h"

int JPEGQuality = 75;
uint8_t ResizeMode = 1;
int DiskUndo = 3;
bool NormalAlphaBlending = true;
int UndoFileCounter = 0;

namespace {

std::string& UndoDirSetting() {
  static std::string dir;  // empty: the process's swap folder
  return dir;
}

TProgressSink& ProgressSinkRef() {
  static TProgressSink sink;
  return sink;
}

// Swap file number n in folder dir: eight digits, zero-padded.
std::string SwapFileName(const std::string& dir, int n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%8.8d.tmp", n);
  return dir + buf;
}

// Told once per process: images that cannot go to disk stay in memory.
void ReportSwapFailure(const std::string& why) {
  static bool told = false;
  if (told) return;
  told = true;
  ShowMessageBox(TMsgKind::Warning,
                 why + "\n履歴の画像はディスクに退避せず、メモリに保持したまま処理を続けます。");
}

}  // namespace

// A history image on its way to its swap file.  state, fd and the pixels'
// ownership are guarded by the writer's mutex.
struct TSwapJob {
  enum class State { Queued, Writing, Written, Failed, Stopped };
  State state = State::Queued;
  std::atomic<bool> stop{false};
  TBitmap pixels;  // the writer's while Queued or Writing; freed once Written
  int fd = -1;
  std::string name;
  std::string error;
};

namespace {

struct SwapNotifier {
  std::mutex m;
  std::function<void()> notify;
};
SwapNotifier& Notifier() {
  static SwapNotifier* n = new SwapNotifier;
  return *n;
}

// The one thread that writes swap files, in the order they were asked for.
class SwapWriter {
 public:
  // More pending writes than this make SwapOutLater wait.
  static constexpr size_t kMaxPending = 4;
  static constexpr size_t kPiece = size_t(8) << 20;

  static SwapWriter& Get() {
    static SwapWriter* w = new SwapWriter;  // never destroyed: its thread may outlive main
    return *w;
  }

  void Push(std::shared_ptr<TSwapJob> job) {
    std::unique_lock<std::mutex> lock(m);
    if (!started_) {
      std::thread([this] { Run(); }).detach();
      started_ = true;
    }
    cv.wait(lock, [&] { return queue_.size() + (busy_ ? 1 : 0) < kMaxPending; });
    queue_.push_back(std::move(job));
    cv.notify_all();
  }

  // Returns when the writer no longer touches the job.
  void Stop(TSwapJob& job) {
    job.stop = true;
    std::unique_lock<std::mutex> lock(m);
    if (job.state == TSwapJob::State::Queued) {
      job.state = TSwapJob::State::Stopped;
      ::close(job.fd);
      job.fd = -1;
      return;
    }
    cv.wait(lock, [&] { return job.state != TSwapJob::State::Writing; });
  }

  void WaitIdle() {
    std::unique_lock<std::mutex> lock(m);
    cv.wait(lock, [&] { return queue_.empty() && !busy_; });
  }

  std::mutex m;
  std::condition_variable cv;

 private:
  struct Stopped {};

  void Run() {
    for (;;) {
      std::shared_ptr<TSwapJob> job;
      {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return !queue_.empty(); });
        job = std::move(queue_.front());
        queue_.pop_front();
        if (job->state != TSwapJob::State::Queued) {
          cv.notify_all();
          continue;
        }
        job->state = TSwapJob::State::Writing;
        busy_ = true;
      }
      std::string error;
      bool stopped = false;
      try {
        const int fd = job->fd;
        TSwapJob& j = *job;
        job->pixels.WriteBMP(
            [fd, &j](const uint8_t* p, size_t n) {
              while (n > 0) {
                if (j.stop) throw Stopped{};
                const size_t piece = std::min(n, kPiece);
                ssize_t w = ::write(fd, p, piece);
                if (w < 0) {
                  if (errno == EINTR) continue;
                  throw EInOutError(std::strerror(errno));
                }
                p += w;
                n -= size_t(w);
              }
            },
            pf32bit);
      } catch (const Stopped&) {
        stopped = true;
      } catch (const std::exception& e) {
        error = e.what();
      }
      if (::close(job->fd) != 0 && error.empty() && !stopped) error = std::strerror(errno);
      TBitmap freed;
      {
        std::lock_guard<std::mutex> lock(m);
        job->fd = -1;
        if (stopped) {
          job->state = TSwapJob::State::Stopped;
        } else if (!error.empty()) {
          job->error = "履歴の画像を一時ファイル" + kwio::Quoted(job->name) + "に書き出せません。" + error;
          job->state = TSwapJob::State::Failed;
        } else {
          freed.SwapContent(job->pixels);  // let go below, outside the lock
          job->state = TSwapJob::State::Written;
        }
        busy_ = false;
        cv.notify_all();
      }
      if (!error.empty() && !stopped) {
        SwapNotifier& n = Notifier();
        std::lock_guard<std::mutex> lock(n.m);
        if (n.notify) n.notify();
      }
    }
  }

  std::deque<std::shared_ptr<TSwapJob>> queue_;
  bool busy_ = false;
  bool started_ = false;
};

// Images whose background write has not been settled (main thread only).
std::vector<TKWBitmap*>& SwappingImages() {
  static std::vector<TKWBitmap*> images;
  return images;
}

void Forget(TKWBitmap* img) {
  auto& v = SwappingImages();
  v.erase(std::remove(v.begin(), v.end(), img), v.end());
}

// Rows whose index modulo 64 is 63 report progress.
inline bool ProgressRow(int y) { return (y & 63) == 63; }

// A 32-bit view of src: src itself when it is pf32bit, else tmp filled from it.
const TBitmap& As32(const TBitmap& src, TBitmap& tmp) {
  if (src.PixelFormat() == pf32bit) return src;
  tmp.SetPixelFormat(pf32bit);
  tmp.SetSize(src.Width(), src.Height());
  tmp.Canvas().CopyMode = cmSrcCopy;
  tmp.Canvas().Draw(0, 0, src);
  return tmp;
}

// ---- PNG exchange: one record and one target for the read in progress ----
TPNGExchange gPNGData{};
TBitmap* gPNGTarget = nullptr;

void PNGCallback() {
  TBitmap& t = *gPNGTarget;
  // Every byte is decoded into it: no clearing first.
  t.Allocate(gPNGData.Width, gPNGData.Height, pf32bit);
  gPNGData.Buffer = t.Height() > 0 ? t.ScanLine(t.Height() - 1) : nullptr;
}

// Reads a PNG file into target, which must be empty (the module decodes into
// it; a failure leaves it empty again); true when the file carries an alpha
// channel.
bool ReadPNG(const std::string& fileName, TBitmap& target) {
  gPNGTarget = &target;
  gPNGData = TPNGExchange{};
  gPNGData.Callback = &PNGCallback;
  struct Reset {
    TBitmap& t;
    bool ok = false;
    ~Reset() {
      gPNGTarget = nullptr;
      if (!ok) t.SetSize(0, 0);
    }
  } reset{target};
  // Linux paths are passed whole (no 255-byte cut that would name another file).
  if (LoadPNGData(fileName.c_str(), &gPNGData) != 1 || target.Width() != gPNGData.Width ||
      target.Height() != gPNGData.Height)
    throw EInvalidGraphic("PNG ファイルを読み込めません" + kwio::Quoted(fileName));
  reset.ok = true;
  return gPNGData.PixelFormat == 7;
}

void WritePNG(const std::string& fileName, const TBitmap& src, bool hasAlpha) {
  TBitmap tmp;
  const TBitmap& b = As32(src, tmp);
  TPNGExchange rec{};
  rec.Width = b.Width();
  rec.Height = b.Height();
  rec.PixelFormat = hasAlpha ? 7 : 6;
  // The module only reads the buffer.
  rec.Buffer = b.Height() > 0 ? const_cast<uint8_t*>(b.ScanLine(b.Height() - 1)) : nullptr;
  if (SavePNGData(fileName.c_str(), &rec) != 1)
    throw EInOutError("PNG ファイルを書き込めません" + kwio::Quoted(fileName));
}

// Factors of CombineAlpha per alpha byte: a = A / 255 and b = 1 - a, both
// held as 32-bit floats (the quotient and difference formed in extended
// precision first).
struct BlendFactors {
  float a[256];
  float b[256];
  BlendFactors() {
    for (int i = 0; i < 256; ++i) {
      a[i] = float((long double)i / 255.0L);
      b[i] = float(1.0L - (long double)a[i]);
    }
  }
};
const BlendFactors& Factors() {
  static const BlendFactors f;
  return f;
}

// Luminance weights of the three channels, in double, per byte value.
struct LumaTables {
  double b[256], g[256], r[256];
  LumaTables() {
    for (int i = 0; i < 256; ++i) {
      b[i] = double(0.1140105L * i);
      g[i] = double(0.58701L * i);
      r[i] = double(0.2989875L * i);
    }
  }
};
const LumaTables& Luma() {
  static const LumaTables t;
  return t;
}

}  // namespace

std::string UndoDataDir() {
  const std::string& d = UndoDirSetting();
  if (d.empty()) return KWSwapFolder();
  return d;
}

void SetUndoDataDir(const std::string& dir) {
  std::string d = dir;
  if (!d.empty() && d.back() != '/') d += '/';
  UndoDirSetting() = d;
}

void SetProgressSink(TProgressSink sink) { ProgressSinkRef() = std::move(sink); }

void SetSwapFailureNotifier(std::function<void()> notify) {
  SwapNotifier& n = Notifier();
  std::lock_guard<std::mutex> lock(n.m);
  n.notify = std::move(notify);
}

// ---- kernels ----

namespace kwbitmap_detail {

// Nearest integer, halves to even, for 0 <= v < 2^51: adding 1.5 * 2^52
// leaves no fraction bits, so the FPU's round-to-nearest-even does the work.
uint32_t RoundNonNegative(double v) {
  constexpr double kMagic = 6755399441055744.0;  // 1.5 * 2^52
  // The integer now sits in the low bits of the mantissa.
  return uint32_t(std::bit_cast<uint64_t>(v + kMagic) & 0xFFFFFFFFu);
}

namespace {
template <bool Normal>
void CombineRowT(const uint32_t* pred, uint32_t* res, int n) {
  const BlendFactors& f = Factors();
  for (int i = 0; i < n; ++i) {
    const uint32_t p = pred[i];
    const uint32_t r = res[i];
    // Weights of the predecessor's and the result's channels.
    const uint32_t al = Normal ? (r >> 24) : (p >> 24);
    const double wp = Normal ? f.b[al] : f.a[al];
    const double wr = Normal ? f.a[al] : f.b[al];
    // Each product of a byte and a float is exact in double, and so is their
    // sum (under 42 significant bits), so rounding sees the exact value.
    uint32_t out = (Normal ? r : p) & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
      const double v = double((p >> shift) & 0xFF) * wp + double((r >> shift) & 0xFF) * wr;
      out |= RoundNonNegative(v) << shift;
    }
    res[i] = out;
  }
}
}  // namespace

void CombineRow(const uint32_t* pred, uint32_t* res, int n, bool normal) {
  if (normal)
    CombineRowT<true>(pred, res, n);
  else
    CombineRowT<false>(pred, res, n);
}

uint8_t LumaAlpha(uint32_t bgr) {
  const uint32_t B = bgr & 0xFF, G = (bgr >> 8) & 0xFF, R = (bgr >> 16) & 0xFF;
  const LumaTables& t = Luma();
  // The double sum is within 1e-12 of the extended-precision one; only a
  // value close to a half could round differently, and those take the
  // extended-precision formula itself.
  const double v = t.b[B] + t.g[G] + t.r[R];
  const uint32_t rounded = RoundNonNegative(v);
  if (std::fabs(v - double(rounded)) > 0.4999999)
    return uint8_t(Round(0.1140105L * B + 0.58701L * G + 0.2989875L * R));
  return uint8_t(rounded);
}

}  // namespace kwbitmap_detail

bool HasAnyAlpha(const TBitmap& Bitmap) {
  if (Bitmap.PixelFormat() != pf32bit) return false;
  for (int y = 0; y < Bitmap.Height(); ++y) {
    const uint32_t* row = Bitmap.Row32(y);
    for (int x = 0; x < Bitmap.Width(); ++x)
      if (row[x] & 0xFF000000u) return true;
  }
  return false;
}

// ---- construction and copying ----

TKWBitmap::TKWBitmap() { SetPixelFormat(pf32bit); }

TKWBitmap::~TKWBitmap() {
  if (swapJob_) {
    std::string why;
    if (stopSwapWrite(why) && !why.empty()) ReportSwapFailure(why);
  }
  if (OnDisk && !TempFileName.empty()) {
    DeleteFile(TempFileName);
    KWReleaseOwnedFile(TempFileName);
  }
}

std::unique_ptr<TKWBitmap> TKWBitmap::CreateFromFile(const std::string& fileName) {
  auto b = std::make_unique<TKWBitmap>();
  b->LoadFromFile(fileName);
  return b;
}

void TKWBitmap::Ensure32() {
  if (PixelFormat() != pf32bit) SetPixelFormat(pf32bit);
}

void TKWBitmap::MovePixels(TBitmap& src) {
  if (&src == this) {
    Ensure32();
    return;
  }
  if (src.PixelFormat() != pf32bit) src.SetPixelFormat(pf32bit);
  SwapContent(src);
}

void TKWBitmap::TakePixels(const TBitmap& src) {
  if (&src == this) {
    Ensure32();
    return;
  }
  if (src.PixelFormat() == pf32bit) {
    TBitmap::Assign(src);
  } else {
    TBitmap tmp;
    tmp.Assign(src);
    tmp.SetPixelFormat(pf32bit);
    TBitmap::Assign(tmp);
  }
}

void TKWBitmap::Assign(const TBitmap& Source) {
  if (&Source == this) return;
  TakePixels(Source);
  if (auto* k = dynamic_cast<const TKWBitmap*>(&Source)) {
    Prev = k->Prev;
    Next = k->Next;
    UndoLimit = k->UndoLimit;
    FileName = k->FileName;
    HasAlpha = k->HasAlpha;
  }
}

void TKWBitmap::CopyImage(const TBitmap& Source) {
  TakePixels(Source);
  if (auto* k = dynamic_cast<const TKWBitmap*>(&Source)) {
    HasAlpha = k->HasAlpha;
    UndoLimit = k->UndoLimit;
  }
}

// ---- files ----

void TKWBitmap::LoadFromFile(const std::string& fileName) {
  // A write to the swap file that is still going on ends first (its pixels
  // come back), so that nothing can come back over the file's pixels.
  if (swapJob_) {
    std::string why;
    stopSwapWrite(why);
  }
  // Every reader decodes straight into the bitmap that ends up holding the
  // picture: this image when it is empty, otherwise a bitmap whose pixels
  // replace this image's only when the whole file was read.
  const std::string ext = UpperCase(ExtractFileExt(fileName));
  if (ext == ".JPG" || ext == ".JPEG") {
    LoadJPEGFile(fileName, *this);  // on failure unchanged (or empty again)
    Ensure32();
  } else if (ext == ".PNG") {
    bool alpha;
    if (Empty()) {
      alpha = ReadPNG(fileName, *this);
    } else {
      TBitmap tmp;
      alpha = ReadPNG(fileName, tmp);
      MovePixels(tmp);
    }
    HasAlpha = alpha;
  } else {
    TSPIBitmap tmp;
    tmp.Expand32 = true;
    tmp.LoadFromFile(fileName);
    const bool alpha = tmp.SourceBits == 32;
    MovePixels(tmp);
    HasAlpha = alpha;
  }
  // The file's pixels replace whatever was swapped out.
  if (OnDisk) {
    DeleteFile(TempFileName);
    KWReleaseOwnedFile(TempFileName);
    TempFileName.clear();
    OnDisk = false;
  }
  OperationName = "開く";
}

void TKWBitmap::SaveToFile(const std::string& fileName) const {
  const std::string ext = UpperCase(ExtractFileExt(fileName));
  if (ext == ".BMP") {
    // Written a band of rows at a time (24 bits without alpha): no copy of
    // the picture and no file image in memory.
    kwio::ReplacingFile file(fileName);
    WriteBMP([&](const uint8_t* p, size_t n) { file.Write(p, n); }, HasAlpha ? pf32bit : pf24bit);
    file.Commit();
  } else if (ext == ".JPG" || ext == ".JPEG") {
    SaveJPEGFile(fileName, *this, JPEGQuality);
  } else if (ext == ".PNG") {
    WritePNG(fileName, *this, HasAlpha);
  }
}

void TKWBitmap::SaveToFile(const std::string& fileName) {
  const std::string ext = UpperCase(ExtractFileExt(fileName));
  std::as_const(*this).SaveToFile(fileName);
  const bool written = ext == ".BMP" || ext == ".JPG" || ext == ".JPEG" || ext == ".PNG";
  // Unlimited undo is given up once the work is safe in a file.  A name the
  // program cannot write keeps the history (nothing was saved).
  if (written && UndoLimit < 0) ClearHistory();
}

// ---- processing steps ----

void TKWBitmap::FinishStep(TKWBitmap* Dest, TKWProcessor* Processor) {
  Dest->Ensure32();
  CombineAlpha(*Dest);
  Dest->OperationName = Processor->Caption;
  AppendSuccessor(Dest);  // may free this image (UndoLimit 0): nothing after it
}

void TKWBitmap::ApplyFilter(TKWBitmap* Dest, TKWBasicFilter* Filter) {
  if (OnDisk) SwapIn();
  TSize size{Width(), Height()};
  Filter->InitSize(size);
  // An image would vanish without a word: refuse before anything changes.
  if ((size.cx <= 0 || size.cy <= 0) && Width() > 0 && Height() > 0)
    throw Exception("処理結果の画像の大きさが " + std::to_string(size.cx) + " x " +
                    std::to_string(size.cy) + " になるため、実行できません。幅と高さは1以上にしてください。");
  Dest->SetPixelFormat(pf32bit);
  Dest->SetSize(size.cx, size.cy);
  Filter->ExecFilter(this, Dest);
  FinishStep(Dest, Filter);
}

void TKWBitmap::ApplyMixer(TKWBitmap* Dest, TBitmap* Foreground, const TMixOrigin& Placement,
                           TKWBasicMixer* Mixer) {
  if (OnDisk) SwapIn();
  TRect foreRect, backRect;
  if (!GetMixArea(*this, *Foreground, Placement, foreRect, backRect)) throw ENoMixArea();
  Dest->SetPixelFormat(pf32bit);
  Dest->Canvas().CopyMode = cmSrcCopy;
  TPoint origin;
  if (Placement.Clipping) {
    Dest->SetSize(backRect.Width(), backRect.Height());
  } else {
    Dest->SetSize(Width(), Height());
    Dest->Canvas().Draw(0, 0, *this);
    origin = TPoint{backRect.Left, backRect.Top};
  }
  const int w = backRect.Width(), h = backRect.Height();
  const TRect whole = Rect(0, 0, w, h);
  TBitmap backPart, forePart;
  backPart.SetPixelFormat(pf32bit);
  backPart.SetSize(w, h);
  forePart.SetPixelFormat(pf32bit);
  forePart.SetSize(w, h);
  backPart.Canvas().CopyMode = cmSrcCopy;
  forePart.Canvas().CopyMode = cmSrcCopy;
  backPart.Canvas().CopyRect(whole, Canvas(), backRect);
  forePart.Canvas().CopyRect(whole, Foreground->Canvas(), foreRect);
  Mixer->ExecMixer(&backPart, &forePart, Dest, origin);
  FinishStep(Dest, Mixer);
}

void CheckGeneratedSize(int64_t width, int64_t height) {
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide ||
      width * height > kMaxImagePixels)
    throw Exception("生成する画像の大きさ " + std::to_string(width) + " x " + std::to_string(height) +
                    " は作成できません。幅と高さは1から" + std::to_string(kMaxImageSide) +
                    "まで、画素数は" + std::to_string(kMaxImagePixels) + "までにしてください。");
}

void TKWBitmap::ApplyGenerator(TKWBitmap* Dest, TKWBasicGenerator* Generator, int Width,
                               int Height) {
  if (OnDisk) SwapIn();
  const int w = Width == 0 ? this->Width() : Width;
  const int h = Height == 0 ? this->Height() : Height;
  // An impossible size is refused before anything is allocated; memory
  // that runs out raises as well.  Either way nothing is linked.
  CheckGeneratedSize(w, h);
  Dest->SetPixelFormat(pf32bit);
  Dest->SetSize(w, h);
  Generator->ExecGenerator(Dest);
  FinishStep(Dest, Generator);
}

// ---- history ----

void TKWBitmap::AppendSuccessor(TKWBitmap* Successor) {
  ClearRedo();
  Next = Successor;
  Successor->Prev = this;
  Successor->HasAlpha = HasAlpha;
  Successor->UndoLimit = UndoLimit;
  Successor->TrimHistory(false);
}

void TKWBitmap::ClearRedo() {
  TKWBitmap* img = Next;
  Next = nullptr;
  while (img) {
    TKWBitmap* next = img->Next;
    delete img;
    img = next;
  }
}

void TKWBitmap::ClearHistory() {
  TKWBitmap* img = Prev;
  Prev = nullptr;
  while (img) {
    TKWBitmap* prev = img->Prev;
    delete img;
    img = prev;
  }
  ClearRedo();
}

void TKWBitmap::SetUndoLimit(int32_t N) {
  UndoLimit = N;
  TrimHistory(true);
}

void TKWBitmap::TrimHistory(bool Propagate) {
  const int32_t limit = UndoLimit;
  if (Propagate) {
    for (TKWBitmap* img = Next; img; img = img->Next) img->UndoLimit = limit;
    for (TKWBitmap* img = Prev; img; img = img->Prev) img->UndoLimit = limit;
  }
  // A swap file that cannot be written keeps its image in memory: the work
  // goes on, and the user hears of it once per process.
  CollectSwapResults();
  TKWBitmap* img = this;
  for (int64_t i = 0; img; ++i) {
    TKWBitmap* prev = img->Prev;
    if (limit >= 0 && i > limit) {
      delete img;
    } else {
      if (i == limit) img->Prev = nullptr;
      if (DiskUndo >= 1 && i >= DiskUndo && !img->OnDisk) {
        try {
          img->SwapOutLater();
        } catch (const std::exception& e) {
          ReportSwapFailure(e.what());
        }
      }
    }
    img = prev;
  }
}

int TKWBitmap::CreateSwapFile(std::string& name) {
  std::string dir;
  try {
    dir = UndoDataDir();
  } catch (const std::exception& e) {
    throw ESwapError(e.what());
  }
  if (!KWMakeOwnedFilesFolder(dir))
    throw ESwapError("履歴の画像を置くフォルダ" + kwio::Quoted(dir) + "を作成できません。");
  Ensure32();
  // Numbers already taken (a shared folder given by SetUndoDataDir) are
  // skipped: a swap file never opens a file that exists.
  int fd = -1;
  for (int tries = 0; fd < 0; ++tries) {
    name = SwapFileName(dir, UndoFileCounter);
    ++UndoFileCounter;
    fd = KWCreateOwnedFile(name, 0600);
    if (fd < 0 && (errno != EEXIST || tries > 1000))
      throw ESwapError("履歴の画像を一時ファイル" + kwio::Quoted(name) + "に書き出せません。" +
                       std::strerror(errno));
  }
  return fd;
}

void TKWBitmap::SwapOut() {
  if (OnDisk) return;
  std::string name;
  int fd = CreateSwapFile(name);
  try {
    SaveToDescriptor(fd);
    if (::close(fd) != 0) {
      fd = -1;
      throw EInOutError(std::strerror(errno));
    }
  } catch (const std::exception& e) {
    if (fd >= 0) ::close(fd);
    DeleteFile(name);
    KWReleaseOwnedFile(name);
    throw ESwapError("履歴の画像を一時ファイル" + kwio::Quoted(name) + "に書き出せません。" + e.what());
  }
  // Only now that the file is complete are the pixels let go.
  TempFileName = name;
  SetHeight(1);
  SetWidth(1);
  OnDisk = true;
}

void TKWBitmap::SwapIn() {
  if (!OnDisk) return;
  if (swapJob_) {
    std::string why;
    if (stopSwapWrite(why)) {
      if (!why.empty()) ReportSwapFailure(why);
      return;  // the pixels never left
    }
  }
  try {
    // Straight into this image; on failure it keeps its 1 x 1 stand-in.
    LoadBMPFile(TempFileName, true);
  } catch (const std::exception& e) {
    throw ESwapError("履歴の画像を一時ファイル" + kwio::Quoted(TempFileName) +
                     "から読み戻せません。" + e.what());
  }
  DeleteFile(TempFileName);
  KWReleaseOwnedFile(TempFileName);
  TempFileName.clear();
  OnDisk = false;
}

void TKWBitmap::SwapOutLater() {
  if (OnDisk) return;
  std::string name;
  const int fd = CreateSwapFile(name);
  auto job = std::make_shared<TSwapJob>();
  job->fd = fd;
  job->name = name;
  job->pixels.SwapContent(*this);  // this is left empty
  SetPixelFormat(pf32bit);
  SetSize(1, 1);
  TempFileName = name;
  OnDisk = true;
  swapJob_ = job;
  SwappingImages().push_back(this);
  SwapWriter::Get().Push(std::move(job));
}

bool TKWBitmap::stopSwapWrite(std::string& why) {
  std::shared_ptr<TSwapJob> job = std::move(swapJob_);
  swapJob_.reset();
  Forget(this);
  SwapWriter& w = SwapWriter::Get();
  w.Stop(*job);
  if (job->state == TSwapJob::State::Written) return false;
  why = job->error;
  SwapContent(job->pixels);
  DeleteFile(TempFileName);
  KWReleaseOwnedFile(TempFileName);
  TempFileName.clear();
  OnDisk = false;
  return true;
}

void TKWBitmap::CollectSwapResults() {
  std::vector<TKWBitmap*> ended;
  {
    SwapWriter& w = SwapWriter::Get();
    std::lock_guard<std::mutex> lock(w.m);
    for (TKWBitmap* img : SwappingImages()) {
      const auto st = img->swapJob_->state;
      if (st == TSwapJob::State::Written || st == TSwapJob::State::Failed) ended.push_back(img);
    }
  }
  for (TKWBitmap* img : ended) {
    std::string why;
    if (img->stopSwapWrite(why) && !why.empty()) ReportSwapFailure(why);
  }
}

void TKWBitmap::WaitForSwapWriter() { SwapWriter::Get().WaitIdle(); }

// ---- alpha channel ----

void TKWBitmap::FillAlpha(uint8_t Value) {
  Ensure32();
  const uint32_t a = uint32_t(Value) << 24;
  const int w = Width(), h = Height();
  for (int y = 0; y < h; ++y) {
    uint32_t* row = Row32(y);
    for (int x = 0; x < w; ++x) row[x] = (row[x] & 0x00FFFFFFu) | a;
    if (ProgressRow(y)) ReportProgress(y);
  }
  ReportProgress(0);
  HasAlpha = true;
}

void TKWBitmap::AlphaFromImage(const TBitmap& Source) {
  Ensure32();
  const int w = Width(), h = Height();
  TBitmap fitted;
  const TBitmap* src = &Source;
  if (Source.Width() != w || Source.Height() != h) {
    fitted.SetPixelFormat(pf32bit);
    fitted.SetSize(w, h);
    fitted.Canvas().CopyMode = cmSrcCopy;
    fitted.Canvas().StretchDraw(Rect(0, 0, w, h), Source);
    src = &fitted;
  } else {
    src = &As32(Source, fitted);
  }
  for (int y = 0; y < h; ++y) {
    const uint32_t* s = src->Row32(y);
    uint32_t* d = Row32(y);
    for (int x = 0; x < w; ++x)
      d[x] = (d[x] & 0x00FFFFFFu) | (uint32_t(kwbitmap_detail::LumaAlpha(s[x])) << 24);
    if (ProgressRow(y)) ReportProgress(y);
  }
  ReportProgress(0);
  HasAlpha = true;
}

void TKWBitmap::InvertAlpha() {
  if (!HasAlpha) return;
  Ensure32();
  const int w = Width(), h = Height();
  for (int y = 0; y < h; ++y) {
    uint32_t* row = Row32(y);
    for (int x = 0; x < w; ++x) row[x] ^= 0xFF000000u;
    if (ProgressRow(y)) ReportProgress(y);
  }
  ReportProgress(0);
}

void TKWBitmap::AlphaToGray(TBitmap& Dest) const {
  if (!HasAlpha) {
    Dest.Assign(*this);
    return;
  }
  TBitmap tmp;
  const TBitmap& self = As32(*this, tmp);
  TBitmap gray;
  gray.SetPixelFormat(pf8bit);
  gray.SetSize(Width(), Height());
  gray.SetPalette(TBitmap::GrayPalette());
  const int w = Width(), h = Height();
  for (int y = 0; y < h; ++y) {
    const uint32_t* s = self.Row32(y);
    uint8_t* d = gray.ScanLine(y);
    for (int x = 0; x < w; ++x) d[x] = uint8_t(s[x] >> 24);
    if (ProgressRow(y)) ReportProgress(y);
  }
  ReportProgress(0);
  // A TKWBitmap destination keeps its 32-bit pixels (gray B = G = R).
  Dest.Assign(gray);
}

void TKWBitmap::CombineAlpha(TKWBitmap& Result) const {
  const bool normal = NormalAlphaBlending;
  if (!(normal ? Result.HasAlpha : HasAlpha)) return;
  Result.Ensure32();
  const int w = Result.Width(), h = Result.Height();
  // The predecessor brought to the result's size (itself when it already is).
  TBitmap fitted;
  const TBitmap* pred = this;
  if (Width() != w || Height() != h || PixelFormat() != pf32bit) {
    fitted.SetPixelFormat(pf32bit);
    fitted.SetSize(w, h);
    fitted.Canvas().CopyMode = cmSrcCopy;
    DrawFitted(*this, fitted);
    pred = &fitted;
  }
  for (int y = 0; y < h; ++y) {
    kwbitmap_detail::CombineRow(pred->Row32(y), Result.Row32(y), w, normal);
    if (ProgressRow(y)) ReportProgress(y);
  }
  ReportProgress(0);
}

// ---- geometry ----

namespace {
// One axis of the mix area: background extent b, foreground extent f, offset x.
bool MixSpan(int64_t b, int64_t f, int64_t x, int32_t& backL, int32_t& backR, int32_t& foreL,
             int32_t& foreR) {
  if (x > 0) {
    if (x > b) return false;
    backL = int32_t(x);
    foreL = 0;
    if (f + x <= b) {
      backR = int32_t(x + f);
      foreR = int32_t(f);
    } else {
      backR = int32_t(b);
      foreR = int32_t(b - x);
    }
  } else {
    if (f + x < 0) return false;
    backL = 0;
    foreL = int32_t(-x);
    if (f + x <= b) {
      foreR = int32_t(f);
      backR = int32_t(f + x);
    } else {
      backR = int32_t(b);
      foreR = int32_t(b - x);
    }
  }
  return true;
}
}  // namespace

bool TKWBitmap::GetMixArea(const TBitmap& Background, const TBitmap& Foreground,
                           const TMixOrigin& Placement, TRect& ForeRect, TRect& BackRect) {
  // 64-bit sums: an origin near the integer limits must not wrap around.
  return MixSpan(Background.Width(), Foreground.Width(), Placement.X, BackRect.Left,
                 BackRect.Right, ForeRect.Left, ForeRect.Right) &&
         MixSpan(Background.Height(), Foreground.Height(), Placement.Y, BackRect.Top,
                 BackRect.Bottom, ForeRect.Top, ForeRect.Bottom);
}

void TKWBitmap::DrawFitted(const TBitmap& Source, TBitmap& Dest) {
  const int sw = Source.Width(), sh = Source.Height();
  const int dw = Dest.Width(), dh = Dest.Height();
  if (ResizeMode == 0) {
    if (sw >= dw && sh >= dh) {
      Dest.Canvas().Draw(0, 0, Source);
    } else if (sw > 0 && sh > 0) {  // an empty source has nothing to tile
      const int cols = (dw + sw - 1) / sw, rows = (dh + sh - 1) / sh;
      for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) Dest.Canvas().Draw(i * sw, j * sh, Source);
    }
  } else {
    Dest.Canvas().StretchDraw(Rect(0, 0, dw, dh), Source);
  }
}

void TKWBitmap::ReportProgress(int Row) const {
  const TProgressSink& sink = ProgressSinkRef();
  if (!sink) return;
  const int h = Height();
  int64_t v = h > 0 ? int64_t(Row) * 10000 / h : 0;
  if (v > 10000) v = 10000;  // a loop over a taller image than this one
  if (v < 0) v = 0;
  sink(int(v));
}
