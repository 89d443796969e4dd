#include "proclib/kwrgbform.h"

#include <QGridLayout>
#include <QLabel>

#include "platform/sysutils.h"
#include "proclib/kwunits.h"

namespace kwlib {

TKWRGB::TKWRGB(TKWRGBPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TRGBFilter>(pack);
  proc->View = this;
  Setup(std::move(proc), "KWRGB", "RGB変調");
  AddMenuAction(QStringLiteral("RGBカラー調整(&Q)"));
  auto* lay = new QGridLayout(this);
  const char* names[3] = {"赤 (%)", "緑 (%)", "青 (%)"};
  for (int i = 0; i < 3; ++i) {
    edr[i] = new TEditRight(this);
    edr[i]->setMaxLength(3);
    edr[i]->setText(QStringLiteral("100"));
    edr[i]->setFixedWidth(48);
    // Only digits and backspace.
    edr[i]->KeyFilter = [](char16_t& k) -> char16_t {
      if (!(k == 8 || (k >= u'0' && k <= u'9'))) k = 0;
      return k;
    };
    ud[i] = new TUpDown(0, 500, 100, this);
    ud[i]->Associate = edr[i];
    lay->addWidget(new QLabel(QString::fromUtf8(names[i]), this), i, 0);
    lay->addWidget(edr[i], i, 1);
    lay->addWidget(ud[i], i, 2);
    QObject::connect(edr[i], &QLineEdit::textChanged, this, [this] { RequestPreview(); });
    ud[i]->OnClick = [this](bool) { RequestPreview(); };
  }
  lay->setRowStretch(3, 1);
  lay->setColumnStretch(3, 1);
}

void TKWRGB::ReadControls(TKWRGBPack& p) {
  float* f[3] = {&p.Red, &p.Green, &p.Blue};
  for (int i = 0; i < 3; ++i) {
    // "0" + text, so that an empty field reads as 0; text that still does
    // not convert leaves the factor as it was.
    bool ok = false;
    int v = (QStringLiteral("0") + edr[i]->text()).toInt(&ok);
    if (ok) *f[i] = float(double(v) / 100.0);
  }
}

void TKWRGB::WriteControls(const TKWRGBPack& p) {
  applying_ = true;
  const float f[3] = {p.Red, p.Green, p.Blue};
  for (int i = 0; i < 3; ++i) {
    long double pc = (long double)f[i] * 100.0L;
    ud[i]->SetPosition(int(std::clamp<int64_t>(Round(pc), INT32_MIN, INT32_MAX)));
    edr[i]->setText(QString::asprintf("%.0f", double(pc)));
  }
  applying_ = false;
}

TKWUnit& RGBUnit() {
  static TKWFormUnit<TKWRGB, TKWRGBPack> u("KWRGB", {{"ShortCut", "Ctrl+Q"}});
  return u;
}

}  // namespace kwlib
