// The processor framework shared by the program and every processor
// package: processor base classes, parameter packs and entries, the progress
// protocol and the preview hooks.  Everything here lives in libKWPrcDef.so so
// that a processor created inside a package is an instance of the very
// classes the program knows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/bitmap.h"
#include "platform/stringlist.h"
#include "platform/types.h"
#include "procdef/kwprcdef_api.h"

enum class TProgressStage : uint8_t { psStarting, psRunning, psEnding };
enum class TKWProcessorGenre : uint8_t { pgDummy, pgFilter, pgMixer, pgGenerator };
enum class TKWParamType : uint8_t { ptBoolean, ptInteger, ptSingle, ptDouble, ptString };

class TKWProcessor;
class TKWBasicFilter;
class TKWBasicMixer;
class TKWBasicGenerator;
class TKWParamPack;

// Progress callback: Stage, PercentDone, RedrawNow, R (R.Left carries the
// progress in ten-thousandths), Msg.
using TProgressEvent = std::function<void(TKWProcessor* Sender, TProgressStage Stage,
                                          uint8_t PercentDone, bool RedrawNow, TRect& R,
                                          const std::string& Msg)>;
// The host stores into Image the bitmap asked for (null when it has none).
using TChangeImageEvent = std::function<void(TKWProcessor* Sender, TBitmap*& Image)>;
using TFilterEvent = std::function<void(TKWProcessor* Sender, TKWBasicFilter* Filter)>;
using TMixerEvent = std::function<void(TKWProcessor* Sender, TKWBasicMixer* Mixer)>;
using TGeneratorEvent = std::function<void(TKWProcessor* Sender, TKWBasicGenerator* Generator)>;

// One parameter entry: where the value lives and of which type.  The storage
// belongs to the package's settings pack, which outlives the entry.
class KWPRCDEF_API TKWParameter {
 public:
  void* ValuePtr = nullptr;
  TKWParamType ParamType = TKWParamType::ptBoolean;
  // For the processor reference only: the default value and the values that
  // make sense, as text ("" when the package does not say).
  std::string Default;
  std::string Range;

  bool AsBoolean() const { return *static_cast<const uint8_t*>(ValuePtr) != 0; }
  int32_t AsInteger() const { return *static_cast<const int32_t*>(ValuePtr); }
  float AsSingle() const { return *static_cast<const float*>(ValuePtr); }
  double AsDouble() const { return *static_cast<const double*>(ValuePtr); }
  const std::string& AsString() const { return *static_cast<const std::string*>(ValuePtr); }
  void SetBoolean(bool v) { *static_cast<uint8_t*>(ValuePtr) = v ? 1 : 0; }
  void SetInteger(int32_t v) { *static_cast<int32_t*>(ValuePtr) = v; }
  void SetSingle(float v) { *static_cast<float*>(ValuePtr) = v; }
  void SetDouble(double v) { *static_cast<double*>(ValuePtr) = v; }
  void SetString(const std::string& v) { *static_cast<std::string*>(ValuePtr) = v; }
};

// One set of values of one processor.
class KWPRCDEF_API TKWParamPack {
 public:
  TKWParamPack() = default;
  explicit TKWParamPack(TKWProcessor* processor) : Processor(processor) {}
  virtual ~TKWParamPack();
  TKWProcessor* Processor = nullptr;  // not owned

  // Processor->GetParams(this), or null without processor.
  TStringList* GetList();
};

// Pack class of every mixer: placement of the foreground.
class KWPRCDEF_API TKWMixerPack : public TKWParamPack {
 public:
  using TKWParamPack::TKWParamPack;
  int32_t Flag = 0;  // bit 0: clipping
  int32_t OriginX = 0;
  int32_t OriginY = 0;
  uint8_t Reserved[20] = {};
};

// Pack class of every generator: the size to generate (0 = the current image's).
class KWPRCDEF_API TKWGeneratorPack : public TKWParamPack {
 public:
  using TKWParamPack::TKWParamPack;
  int32_t Width = 1;
  int32_t Height = 1;
};

class KWPRCDEF_API TKWProcessor {
 public:
  TKWProcessor();
  virtual ~TKWProcessor();
  TKWProcessor(const TKWProcessor&) = delete;
  TKWProcessor& operator=(const TKWProcessor&) = delete;

  int32_t Version = 2000;
  TProgressEvent OnProgress;
  std::string Caption;
  std::string Name;
  TKWProcessorGenre Genre = TKWProcessorGenre::pgDummy;
  // Name i -> TKWParameter i (owned by this processor).
  TStringList Params;

  // Builds Params.  Called once by Init(), after construction, so that the
  // concrete class's override runs (a C++ constructor cannot dispatch to it).
  virtual void MakeList() {}
  // With null: UpdateParam, then Params.  With a pack of the processor's own
  // class: copies the pack's values into the current values, then Params.
  virtual TStringList* GetParams(TKWParamPack* ParamPack);
  virtual TKWParamPack* CreateParamPack();
  virtual void UpdateParam() {}
  virtual bool CanPreview() { return true; }

  // Runs MakeList.  Every processor must be initialised once after creation;
  // Create<T>() does both.
  void Init();
  template <class T, class... A>
  static std::unique_ptr<T> Create(A&&... args) {
    auto p = std::make_unique<T>(std::forward<A>(args)...);
    p->Init();
    return p;
  }

  // Appends an entry for the value at ptr and returns it.
  TKWParameter* AddParam(const std::string& name, TKWParamType type, void* ptr);
  // Entry i of Params.
  TKWParameter* Param(int i) const { return Params.ObjectAs<TKWParameter>(i); }

  void SetProgress(const TProgressEvent& value) { OnProgress = value; }
  void Progress(float Rate);

 protected:
  void NotifyStart(const char* msg);
  void NotifyEnd();
  bool initialized_ = false;
};

class KWPRCDEF_API TKWBasicFilter : public TKWProcessor {
 public:
  TKWBasicFilter();
  TChangeImageEvent OnGetCurrentImage;
  TFilterEvent OnUpdatePreview;

  virtual void Filter(TBitmap* Src, TBitmap* Dst) = 0;
  virtual void InitSize(TSize& Size) {}
  virtual void OnImageChange(TBitmap* Image) {}

  void ExecFilter(TBitmap* Src, TBitmap* Dst);
  TBitmap* GetCurrentImage();
  void UpdatePrevImg();
};

class KWPRCDEF_API TKWBasicMixer : public TKWProcessor {
 public:
  TKWBasicMixer();
  TChangeImageEvent OnGetFGImage;
  TChangeImageEvent OnGetBGImage;
  TMixerEvent OnUpdatePreview;

  TKWParamPack* CreateParamPack() override;
  virtual void Mixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin) = 0;
  virtual void OnSelectChange(TBitmap* FG, TBitmap* BG) {}

  void ExecMixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin);
  TBitmap* GetFGImage();
  TBitmap* GetBGImage();
  void UpdatePrevImg();
};

class KWPRCDEF_API TKWBasicGenerator : public TKWProcessor {
 public:
  TKWBasicGenerator();
  TGeneratorEvent OnUpdatePreview;

  TKWParamPack* CreateParamPack() override;
  virtual void Generator(TBitmap* Bitmap) = 0;

  void ExecGenerator(TBitmap* Bitmap);
  void UpdatePrevImg();
};

class KWPRCDEF_API TKWProcessorExtension {};
class KWPRCDEF_API TKWProcExt : public TKWProcessorExtension {};

// False while a package's processor units initialize, true otherwise.
KWPRCDEF_API extern bool IsLoadComplete;

// Progress texts of the start notification.
KWPRCDEF_API extern const char* const kFilterProgressMsg;     // " フィルタ処理中 "
KWPRCDEF_API extern const char* const kMixerProgressMsg;      // " 合成処理中 "
KWPRCDEF_API extern const char* const kGeneratorProgressMsg;  // " 画像生成中 "
