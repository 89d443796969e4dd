// TKWDocument: what the processor boxes need of a document window.  The
// document layer implements it (TKWChild); the boxes in this layer only see
// this seam, so host/ does not depend on document/.
#pragma once

#include <functional>
#include <string>

#include "image/kwbitmap.h"

class QWidget;

class TKWDocument {
 public:
  virtual ~TKWDocument() = default;
  // The current image (never null while the document exists).
  virtual TKWBitmap* CurrentImage() = 0;
  // Processing steps with undo and log; UpdateParams makes the processor
  // read its panel first.  Processor errors pass to the caller.
  virtual void ApplyFilter(TKWBasicFilter* Filter, bool UpdateParams) = 0;
  virtual void ApplyMixer(TBitmap* Foreground, TKWBasicMixer* Mixer, bool UpdateParams,
                          const TMixOrigin& Placement) = 0;
  virtual void ApplyGenerator(TKWBasicGenerator* Generator, bool UpdateParams, int Width,
                              int Height) = 0;
  // Busy documents cannot be closed; calls nest.
  virtual void SetBusy(bool B) = 0;
  // What holds the document busy, in words for the user ("ミキサーの背景画像");
  // empty when nothing chose it.  A close that is refused says so, and
  // Release (when given) lets the document go again at the user's request.
  virtual void SetHolder(const std::string& Holder, std::function<void()> Release = {}) {}
  // The document's window.
  virtual QWidget* DocumentWindow() = 0;
  // Told of every new current image of the document (undo and redo
  // included); an empty hook removes it.  The mixer box watches the two
  // documents it has chosen through this.
  virtual void SetImageChangeHook(std::function<void(TKWBitmap* Image)> Hook) {}
};
