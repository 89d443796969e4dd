// Image plug-ins: finding and loading them (TSPIs, TSPI and its subclasses)
// and the bitmap that reads through them (TSPIBitmap with its reading
// companion TInSPIAble).  The contract a plug-in implements is spi_api.h.
//
// Use:
//   TSPIs plugins;                 // one per program; searches at once
//   TSPIBitmap b;
//   b.LoadFromFile(name);          // BMP natively, other formats by plug-in
//   ... b.Width(), b.Height(), b.PixelFormat() (pf32bit: has alpha)
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "imageio/spi_api.h"
#include "platform/bitmap.h"
#include "platform/types.h"

// Failures of plug-in loading.
class ESPIException : public Exception {
 public:
  using Exception::Exception;
};
// A second TSPIs: "TSPIs は複数生成できません".
class ESPIDupCreateSPIs : public ESPIException {
 public:
  ESPIDupCreateSPIs();
};
// The library could not be loaded: "<path>:Susie Pluginがロードできませんでした".
class ESPIFOpenErrorSPI : public ESPIException {
 public:
  using ESPIException::ESPIException;
};
// A function the plug-in's kind requires is missing:
// "<function>は[<file>]では使えないSusie Plugin APIです".
class ESPIInvalidAPI : public ESPIException {
 public:
  using ESPIException::ESPIException;
};
// The plug-in misbehaves while describing itself (reports texts longer than
// the buffer it was given).
class ESPIInvalidSPI : public ESPIException {
 public:
  using ESPIException::ESPIException;
};

// One loaded plug-in.  The class chosen for a library depends on the API
// version it reports (see TSPIs::LoadPlugin).
class TSPI {
 public:
  // Loads the library and reads its description; raises ESPIFOpenErrorSPI,
  // ESPIInvalidAPI or ESPIInvalidSPI.
  explicit TSPI(const std::string& path);
  virtual ~TSPI();
  TSPI(const TSPI&) = delete;
  TSPI& operator=(const TSPI&) = delete;

  void* Handle = nullptr;     // dlopen handle
  std::string FileName;       // full path of the library
  std::string APIVersion;     // GetPluginInfo(0), e.g. "00IN"
  std::string Description;    // GetPluginInfo(1)
  std::vector<std::string> Extensions;   // GetPluginInfo(2), (4), ...: "*.a;*.b"
  std::vector<std::string> FormatNames;  // GetPluginInfo(3), (5), ...
  bool CanLoadImages = false;

  SPIGetPluginInfoFunc GetPluginInfo = nullptr;
  SPIIsSupportedFunc IsSupported = nullptr;
  SPIGetPictureInfoFunc GetPictureInfo = nullptr;
  SPIGetPictureFunc GetPicture = nullptr;
  SPIGetPreviewFunc GetPreview = nullptr;
  SPIGetArchiveInfoFunc GetArchiveInfo = nullptr;
  SPIGetFileInfoFunc GetFileInfo = nullptr;
  SPIGetFileFunc GetFile = nullptr;
  SPIConfigurationDlgFunc ConfigurationDlg = nullptr;

  // True when one of the patterns of Extensions names this extension
  // (given with or without its leading '.'; compared without regard to case).
  bool HandlesExtension(const std::string& ext) const;

 protected:
  // Raises ESPIInvalidAPI when fn is null.
  void Require(const void* fn, const char* name) const;
};

class TLoaderSPI : public TSPI {
 public:
  explicit TLoaderSPI(const std::string& path);
};

// "00IN": image input.  The only kind used for reading pictures.
class TInSPI : public TLoaderSPI {
 public:
  explicit TInSPI(const std::string& path);
};

// "00AM": archives.
class TAmSPI : public TLoaderSPI {
 public:
  explicit TAmSPI(const std::string& path);
};

// "00XN".
class TXnSPI : public TSPI {
 public:
  explicit TXnSPI(const std::string& path);
};

enum TSPISearchOption : uint8_t {
  spsSusieDir = 1,    // the per-user plug-in folder (UserPluginDir)
  spsAppDir = 2,      // the program's folder (ExecutableDir)
  spsCurrentDir = 4,  // the current working folder
  spsSystemDir = 8,   // /usr/lib/Varoka/Plugins/
  spsWindowsDir = 16  // /usr/local/lib/Varoka/Plugins/
};
using TSPISearchOptions = uint8_t;

// A format registered by a loaded image plug-in: extension without "*." (for
// "*.tar.gz" the part after the last '.'), and its format name.
struct TSPIFormat {
  std::string Extension;
  std::string FormatName;
};

// The plug-ins of the program, in load order.  At most one exists at a time.
class TSPIs {
 public:
  // Raises ESPIDupCreateSPIs when another TSPIs exists.  With autoLoad set,
  // Search("*.spi") runs at once.
  explicit TSPIs(TSPISearchOptions options = spsSusieDir | spsAppDir, bool autoLoad = true);
  ~TSPIs();
  TSPIs(const TSPIs&) = delete;
  TSPIs& operator=(const TSPIs&) = delete;

  // The existing TSPIs, or null.
  static TSPIs* Instance();

  TSPISearchOptions SearchOptions;
  bool AutoLoad;

  // Loads every plug-in matching mask.  A mask with a folder searches only
  // that folder; otherwise the folders of SearchOptions, in the order of the
  // enumeration.  Files already loaded (same full path) are skipped.
  // Libraries that fail to load, or lack a function their kind requires, are
  // skipped; their messages are kept in Errors().
  void Search(const std::string& mask = "*.spi");

  // Loads one library as the class its API version asks for; null when it
  // cannot be loaded as a plug-in (the message is added to Errors()).
  std::unique_ptr<TSPI> LoadPlugin(const std::string& path);

  int Count() const { return int(list_.size()); }
  TSPI* Items(int i) const { return list_.at(size_t(i)).get(); }
  // Appends a plug-in (and registers the formats of an image plug-in).
  void Add(std::unique_ptr<TSPI> spi);
  // Messages of the libraries that Search skipped, one per library.
  const std::vector<std::string>& Errors() const { return errors_; }
  // Formats of the loaded image plug-ins, in load order.
  const std::vector<TSPIFormat>& Formats() const { return formats_; }

  // The folders the search options stand for (with trailing '/').
  static std::string UserPluginDir();  // $XDG_DATA_HOME or ~/.local/share, + "/Varoka/Plugins/"
  static std::string FolderFor(TSPISearchOption option);

 private:
  std::vector<std::unique_ptr<TSPI>> list_;
  std::vector<std::string> errors_;
  std::vector<TSPIFormat> formats_;
};

class TSPIBitmap;

// Stage of a read reported through TSPIBitmap::OnProgress.
enum class TSPIProgressStage { psStarting, psRunning, psEnding };

// Reading companion of one TSPIBitmap: holds the data of the current read and
// tries the native BMP reader and the plug-ins in order.
class TInSPIAble {
 public:
  explicit TInSPIAble(TSPIBitmap& owner);

  static constexpr const char* NativeFormat = "BMP";

  std::string FileName;   // name of the current file (may be empty)
  std::string Extension;  // its extension in upper case, without '.'

  // Reads data (the whole file) into the owner; raises EInvalidGraphic
  // "認識できない画像形式です" when neither the native reader nor a plug-in
  // reads it.  The owner is left unchanged on failure.
  void Load(const uint8_t* data, size_t size);

  // The candidate plug-ins for the current extension, in the order tried.
  std::vector<TInSPI*> Candidates() const;

 private:
  bool TryNative(const uint8_t* data, size_t size, TBitmap& out);
  bool TryPlugins(const uint8_t* data, size_t size, TBitmap& out);
  bool TryPlugin(TInSPI& spi, const uint8_t* data, size_t size, TBitmap& out);
  bool Offer(TInSPI& spi, const uint8_t* data, size_t size, TBitmap& out);

  TSPIBitmap& owner_;
};

// A bitmap that reads BMP itself and every other format through the loaded
// image plug-ins.
class TSPIBitmap : public TBitmap {
 public:
  TSPIBitmap();
  ~TSPIBitmap() override;

  // When set, only this plug-in is tried.
  TInSPI* Plugin = nullptr;
  // When set, every picture ends as pf32bit (A bytes 0 unless the picture
  // had 32 bits), converted while it is read rather than afterwards.
  bool Expand32 = false;
  // Bits per pixel of the last picture as read (1, 4, 8, 24 or 32), before
  // any widening by Expand32.
  int SourceBits = 0;
  // Retry a plug-in without the first 128 bytes when it refuses the data.
  bool SkipPrefix = true;
  // Progress of a plug-in read: stage and percent (1..99 while running).
  std::function<void(TSPIProgressStage stage, int percent)> OnProgress;

  // What the last plug-in read reported through GetPictureInfo.
  SPIPictureInfo Info{};
  std::string Comment;
  // The plug-in that read the last picture; null when it was read natively.
  TInSPI* ReadBy = nullptr;

  // Raise EInOutError when the file cannot be read, EInvalidGraphic when no
  // reader takes it; the bitmap is unchanged then.  A file that the native
  // reader comes first for (extension BMP or none) is read in order straight
  // into the picture; only when that fails is the whole file read and
  // offered to the plug-ins.
  void LoadFromFile(const std::string& fileName) override;
  void LoadFromStream(std::istream& in);
  void LoadFromMemory(const uint8_t* data, size_t size, const std::string& fileName = "");

  TInSPIAble& InSPIAble() { return insp_; }

 private:
  TInSPIAble insp_;
};

// Reads a plug-in's picture, a BITMAPINFO block and a pixel block (each of
// the given allocation size), into out, with the pixels taken straight from
// the plug-in's block (widened to pf32bit with to32; fileBits receives the
// picture's bits per pixel).  Raises EInvalidGraphic when the headers are
// unusable or claim more than the blocks hold; out is unchanged then.
void TakeOverDIB(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize,
                 TBitmap& out, bool to32 = false, int* fileBits = nullptr);
