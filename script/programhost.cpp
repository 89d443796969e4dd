#include "script/programhost.h"

#include <iostream>

#include <QApplication>
#include <QMdiArea>

#include "document/kwchild.h"
#include "document/kwparent.h"
#include "document/kwpaths.h"
#include "document/optiondlg.h"
#include "host/mixerbox.h"
#include "host/prcmgr.h"
#include "image/kwbitmap.h"
#include "platform/ownedfiles.h"
#include "platform/sysutils.h"
#include "procdef/multiuserini.h"
#include "script/kwscrbatch.h"
#include "ui/messages.h"

namespace {

// A document that went through its close (the close query let it go).
bool IsClosed(TKWChild* c) { return c->ClosedByUser && c->isHidden(); }

// Busy while a processor works on it, so that it cannot be closed meanwhile.
class TBusyScope {
 public:
  explicit TBusyScope(TKWChild* doc) : doc_(doc) { doc_->SetBusy(true); }
  ~TBusyScope() {
    if (doc_) doc_->SetBusy(false);
  }

 private:
  QPointer<TKWChild> doc_;
};

}  // namespace

bool TKWScriptDocuments::Contains(TKWChild* doc) {
  // Pointers are compared first: a freed document is not dereferenced.
  for (TKWChild* c : Documents())
    if (c == doc) return true;
  return false;
}

// --- documents of the main window ------------------------------------------------

TKWChild* TKWMainWindowDocuments::CreateDocument() {
  if (!parent_) throw ENoDocuments();
  TKWChild* c = parent_->CreateChild();
  parent_->MdiArea()->setActiveSubWindow(c);
  return c;
}

TKWChild* TKWMainWindowDocuments::Active() {
  if (!parent_) return nullptr;
  TKWChild* c = parent_->ActiveChild();
  return c && !IsClosed(c) ? c : nullptr;
}

std::vector<TKWChild*> TKWMainWindowDocuments::Documents() {
  std::vector<TKWChild*> out;
  if (!parent_) return out;
  // Back to front: the front window first, so walk it backwards.
  const QList<QMdiSubWindow*> stack = parent_->MdiArea()->subWindowList(QMdiArea::StackingOrder);
  TKWChild* active = Active();
  if (active) out.push_back(active);
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    auto* c = qobject_cast<TKWChild*>(*it);
    if (c && c != active && !IsClosed(c)) out.push_back(c);
  }
  return out;
}

void TKWMainWindowDocuments::Closed(TKWChild* doc) { delete doc; }

// --- documents of a batch run ---------------------------------------------------------

TKWBatchDocuments::~TKWBatchDocuments() {
  for (const QPointer<TKWChild>& c : docs_) {
    if (!c) continue;
    c->ClosedByUser = true;  // no resume entry
    delete c.data();
  }
}

TKWChild* TKWBatchDocuments::CreateDocument() {
  // Without an event loop the events that new windows post would pile up,
  // and each later post or removal searches the whole pile.
  QCoreApplication::sendPostedEvents();
  auto* c = new TKWChild;
  open_.emplace(c, c);
  c->CurrentImage()->SetUndoLimit(UndoLimitOption);
  docs_.prepend(c);
  return c;
}

TKWChild* TKWBatchDocuments::Active() {
  for (const QPointer<TKWChild>& c : docs_)
    if (c && !IsClosed(c)) return c;
  return nullptr;
}

std::vector<TKWChild*> TKWBatchDocuments::Documents() {
  std::vector<TKWChild*> out;
  for (const QPointer<TKWChild>& c : docs_)
    if (c && !IsClosed(c)) out.push_back(c);
  return out;
}

void TKWBatchDocuments::Closed(TKWChild* doc) {
  docs_.removeAll(QPointer<TKWChild>(doc));
  open_.erase(doc);
  delete doc;
}

bool TKWBatchDocuments::Contains(TKWChild* doc) {
  auto it = open_.find(doc);
  return it != open_.end() && it->second && !IsClosed(it->second);
}

// --- the host ---------------------------------------------------------------------------

TKWBasicFilter* TKWProgramScriptHost::FindFilter(const std::string& name) {
  TFilterInfo* info = manager_ ? manager_->FindFilter(name) : nullptr;
  return info ? info->Filter : nullptr;
}

TKWBasicMixer* TKWProgramScriptHost::FindMixer(const std::string& name) {
  TMixerInfo* info = manager_ ? manager_->FindMixer(name) : nullptr;
  return info ? info->Mixer : nullptr;
}

TKWBasicGenerator* TKWProgramScriptHost::FindGenerator(const std::string& name) {
  TGeneratorInfo* info = manager_ ? manager_->FindGenerator(name) : nullptr;
  return info ? info->Generator : nullptr;
}

namespace {
// The mixer box of the program's main window, when there is one.
TMixerBox* FindMixerBox() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* p = qobject_cast<TKWParent*>(w))
      if (auto* box = p->findChild<TMixerBox*>()) return box;
  return nullptr;
}
}  // namespace

void TKWProgramScriptHost::GetMixerSettings(int32_t& originX, int32_t& originY, bool& clipping) {
  if (MixerSettings) {
    MixerSettings(originX, originY, clipping);
  } else if (TMixerBox* box = documents_ == mainWindowDocs_.get() ? FindMixerBox() : nullptr) {
    originX = box->PosX();
    originY = box->PosY();
    clipping = box->Clipping();
  } else {
    TKWScriptHost::GetMixerSettings(originX, originY, clipping);
  }
}

void TKWProgramScriptHost::ShowInformation(const std::string& text) { ShowInfo(text); }

void TKWProgramScriptHost::SetMainWindow(TKWParent* mainWindow) {
  mainWindowDocs_ = std::make_unique<TKWMainWindowDocuments>(mainWindow);
  documents_ = mainWindowDocs_.get();
}

TKWScriptDocuments& TKWProgramScriptHost::docs() {
  if (documents_) return *documents_;
  // The program's main window is a top-level window of its own.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* p = qobject_cast<TKWParent*>(w)) {
      SetMainWindow(p);
      return *documents_;
    }
  }
  throw ENoDocuments();
}

bool TKWProgramScriptHost::DocumentAlive(TKWChild* doc) { return doc && docs().Contains(doc); }

TKWChild* TKWProgramScriptHost::ActiveDocument() { return docs().Active(); }

std::vector<TKWChild*> TKWProgramScriptHost::Documents() { return docs().Documents(); }

void TKWProgramScriptHost::GetSelectedDocuments(TKWChild*& background, TKWChild*& foreground) {
  background = foreground = nullptr;
  if (SelectedDocuments) {
    SelectedDocuments(background, foreground);
  } else if (TMixerBox* box = documents_ == mainWindowDocs_.get() ? FindMixerBox() : nullptr) {
    background = dynamic_cast<TKWChild*>(box->BackgroundDoc());
    foreground = dynamic_cast<TKWChild*>(box->ForegroundDoc());
  }
  if (!DocumentAlive(background)) background = nullptr;
  if (!DocumentAlive(foreground)) foreground = nullptr;
}

TKWChild* TKWProgramScriptHost::OpenDocument(const std::string& fileName) {
  TKWChild* c = docs().CreateDocument();
  try {
    c->LoadDocument(fileName);
  } catch (...) {
    // A file that cannot be read leaves no empty document behind.
    c->ClosedByUser = true;
    c->hide();
    docs().Closed(c);
    throw;
  }
  return c;
}

TKWChild* TKWProgramScriptHost::CloneDocument(TKWChild* source) {
  TKWBitmap* img = source->CurrentImage();
  TKWChild* c = docs().CreateDocument();
  c->SetImage(*img, img->FileName, "複製");
  return c;
}

TKWChild* TKWProgramScriptHost::GenerateDocument(TKWBasicGenerator* generator, int width,
                                                 int height) {
  TKWChild* c = docs().CreateDocument();
  try {
    TBusyScope busy(c);
    c->ApplyGenerator(generator, false, width, height);
  } catch (...) {
    // A generator that fails leaves no empty document behind; the run
    // stops with the generator's message.
    c->ClosedByUser = true;
    c->hide();
    docs().Closed(c);
    throw;
  }
  return c;
}

void TKWProgramScriptHost::CloseDocument(TKWChild* doc) {
  doc->SetModified(false);
  doc->CloseDocument();
  if (IsClosed(doc)) docs().Closed(doc);
}

int TKWProgramScriptHost::DocumentWidth(TKWChild* doc) { return doc->CurrentImage()->Width(); }
int TKWProgramScriptHost::DocumentHeight(TKWChild* doc) { return doc->CurrentImage()->Height(); }

void TKWProgramScriptHost::ApplyFilter(TKWChild* doc, TKWBasicFilter* filter) {
  TBusyScope busy(doc);
  doc->ApplyFilter(filter, false);
}

void TKWProgramScriptHost::ApplyMixer(TKWChild* background, TKWChild* foreground,
                                      TKWBasicMixer* mixer, int32_t x, int32_t y, bool clipping) {
  TMixOrigin placement;
  placement.X = x;
  placement.Y = y;
  placement.Clipping = clipping;
  TBusyScope busyBg(background);
  TBusyScope busyFg(foreground);
  background->ApplyMixer(foreground->CurrentImage(), mixer, false, placement);
}

void TKWProgramScriptHost::SaveDocument(TKWChild* doc, const std::string& fileName) {
  doc->SaveDocument(fileName);
}

void TKWProgramScriptHost::OpenInto(TKWChild* doc, const std::string& fileName) {
  doc->OpenInto(fileName);
}

void TKWProgramScriptHost::DocumentAction(TKWChild* doc, TKWSDocAction action) {
  switch (action) {
    case TKWSDocAction::Undo:
      doc->actUndoExecute();
      break;
    case TKWSDocAction::Redo:
      doc->actRedoExecute();
      break;
    case TKWSDocAction::Copy:
      doc->actCopyExecute();
      break;
    case TKWSDocAction::Paste:
      doc->actPasteExecute();
      break;
    case TKWSDocAction::ACDisable:
      doc->actACDisableExecute();
      break;
    case TKWSDocAction::ACInvert:
      doc->actACInvertExecute();
      break;
    case TKWSDocAction::ACCreateFromImage:
      doc->actACCreateFromImageExecute();
      break;
    case TKWSDocAction::ACCreateHarf:
      doc->actACCreateHarfExecute();
      break;
    case TKWSDocAction::ACCopy:
      doc->actACCopyExecute();
      break;
    case TKWSDocAction::ACPaste:
      doc->actACPasteExecute();
      break;
  }
  doc->UpdateActions();
}

void TKWProgramScriptHost::CreateAlphaByValue(TKWChild* doc, uint8_t value) {
  doc->CreateAlphaByValue(value);
}

void TKWProgramScriptHost::LoadAlpha(TKWChild* doc, const std::string& fileName) {
  doc->LoadAlpha(fileName);
}

void TKWProgramScriptHost::SaveAlpha(TKWChild* doc, const std::string& fileName) {
  doc->SaveAlpha(fileName);
}

void TKWProgramScriptHost::RefreshDocument(TKWChild* doc) {
  if (!RefreshOnScript || !doc->isVisible()) return;
  doc->repaint();
  doc->imiImage->repaint();
}

void KWSDeleteCommand(void* command) { delete static_cast<TKWScriptCommand*>(command); }

int KWRunScriptCommandLine(TKWProcessorManager& manager, const std::string& path,
                           const std::vector<std::string>& arguments) {
  // No windows: errors and warnings go to stderr, information to stdout,
  // questions are answered No (the framework's own handling).
  TMessageHandler previous = SetMessageHandler(nullptr);
  // The user's options apply (undo depth, alpha blending, JPEG quality);
  // nothing is written back.
  {
    TMultiUserIni ini(KWSettingsFile());
    LoadUserOptions(ini);
  }
  const bool writeResume = TKWChild::WriteResume;
  TKWChild::WriteResume = false;
  // Swap files go to the process's private swap folder (made on first use,
  // so that runs can go in parallel), removed with the folder at the end.
  TKWProgramScriptHost host(&manager);
  int rc;
  {
    TKWBatchDocuments documents;
    host.SetDocuments(&documents);
    TKWScriptEngine engine(&host, &manager.Keywords1, &manager.Keywords2);
    manager.KeywordDeleter = KWSDeleteCommand;
    engine.Arguments = arguments;
    rc = KWRunScriptBatch(engine, path, std::cerr);
  }
  KWRemoveSwapFolder();
  TKWChild::WriteResume = writeResume;
  SetMessageHandler(previous);
  return rc;
}
