// Panels of the negative and grayscale filters: a menu action each.
#pragma once

#include "proclib/kwform.h"
#include "proclib/kwgray.h"
#include "proclib/kwnega.h"

namespace kwlib {

class TKWNegativeForm : public TKWProcForm<TKWNegativeFilter, TFilterKind> {
 public:
  explicit TKWNegativeForm(TKWUnit* unit);
  ~TKWNegativeForm() override { FormDestroy(); }
};

class TKWGray : public TKWProcForm<TKWGrayScale, TFilterKind> {
 public:
  explicit TKWGray(TKWUnit* unit);
  ~TKWGray() override { FormDestroy(); }
};

}  // namespace kwlib
