#include "procdef/kwproc.h"

#include "platform/sysutils.h"

bool IsLoadComplete = false;

const char* const kFilterProgressMsg = " フィルタ処理中 ";
const char* const kMixerProgressMsg = " 合成処理中 ";
const char* const kGeneratorProgressMsg = " 画像生成中 ";

namespace {
// The framework's own initialization marks loading as in progress.
struct LoadFlagInit {
  LoadFlagInit() { IsLoadComplete = false; }
} loadFlagInit;
}  // namespace

TKWParamPack::~TKWParamPack() = default;

TStringList* TKWParamPack::GetList() {
  return Processor ? Processor->GetParams(this) : nullptr;
}

TKWProcessor::TKWProcessor() = default;

TKWProcessor::~TKWProcessor() {
  for (int i = 0; i < Params.Count(); ++i) delete Param(i);
  Params.Clear();
}

void TKWProcessor::Init() {
  if (initialized_) return;
  initialized_ = true;
  MakeList();
}

TKWParameter* TKWProcessor::AddParam(const std::string& name, TKWParamType type, void* ptr) {
  auto* p = new TKWParameter;
  p->ValuePtr = ptr;
  p->ParamType = type;
  Params.AddObject(name, p);
  return p;
}

TStringList* TKWProcessor::GetParams(TKWParamPack* ParamPack) {
  if (!ParamPack) UpdateParam();
  return &Params;
}

TKWParamPack* TKWProcessor::CreateParamPack() { return new TKWParamPack(this); }

void TKWProcessor::Progress(float Rate) {
  // Both products in extended precision, rounded half to even.
  TRect r{int32_t(Round((long double)Rate * 10000.0L)), 0, 0, 0};
  if (OnProgress) {
    auto percent = uint8_t(Round((long double)Rate * 100.0L));
    OnProgress(this, TProgressStage::psRunning, percent, false, r, std::string());
  }
}

void TKWProcessor::NotifyStart(const char* msg) {
  if (!OnProgress) return;
  TRect r;
  OnProgress(this, TProgressStage::psStarting, 0, false, r, msg);
}

void TKWProcessor::NotifyEnd() {
  if (!OnProgress) return;
  TRect r;
  OnProgress(this, TProgressStage::psEnding, 100, false, r, std::string());
}

// ---- filters ----

TKWBasicFilter::TKWBasicFilter() { Genre = TKWProcessorGenre::pgFilter; }

void TKWBasicFilter::ExecFilter(TBitmap* Src, TBitmap* Dst) {
  NotifyStart(kFilterProgressMsg);
  Filter(Src, Dst);
  NotifyEnd();
}

TBitmap* TKWBasicFilter::GetCurrentImage() {
  TBitmap* img = nullptr;
  if (OnGetCurrentImage) OnGetCurrentImage(this, img);
  return img;
}

void TKWBasicFilter::UpdatePrevImg() {
  if (!CanPreview()) return;
  if (OnUpdatePreview && IsLoadComplete) OnUpdatePreview(this, this);
}

// ---- mixers ----

TKWBasicMixer::TKWBasicMixer() { Genre = TKWProcessorGenre::pgMixer; }

TKWParamPack* TKWBasicMixer::CreateParamPack() { return new TKWMixerPack(this); }

void TKWBasicMixer::ExecMixer(TBitmap* BG, TBitmap* FG, TBitmap* Dst, const TPoint& Origin) {
  NotifyStart(kMixerProgressMsg);
  Mixer(BG, FG, Dst, Origin);
  NotifyEnd();
}

TBitmap* TKWBasicMixer::GetFGImage() {
  TBitmap* img = nullptr;
  if (OnGetFGImage) OnGetFGImage(this, img);
  return img;
}

TBitmap* TKWBasicMixer::GetBGImage() {
  TBitmap* img = nullptr;
  if (OnGetBGImage) OnGetBGImage(this, img);
  return img;
}

void TKWBasicMixer::UpdatePrevImg() {
  if (!CanPreview()) return;
  if (OnUpdatePreview && IsLoadComplete) OnUpdatePreview(this, this);
}

// ---- generators ----

TKWBasicGenerator::TKWBasicGenerator() { Genre = TKWProcessorGenre::pgGenerator; }

TKWParamPack* TKWBasicGenerator::CreateParamPack() { return new TKWGeneratorPack(this); }

void TKWBasicGenerator::ExecGenerator(TBitmap* Bitmap) {
  NotifyStart(kGeneratorProgressMsg);
  Generator(Bitmap);
  NotifyEnd();
}

void TKWBasicGenerator::UpdatePrevImg() {
  if (!CanPreview()) return;
  if (OnUpdatePreview && IsLoadComplete) OnUpdatePreview(this, this);
}
