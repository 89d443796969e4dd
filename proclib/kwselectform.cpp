#include "proclib/kwselectform.h"

#include <QGridLayout>

#include "proclib/kwunits.h"

namespace kwlib {

TKWSelectorForm::TKWSelectorForm(TSelectorPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWSelector>(pack);
  proc->View = this;
  Setup(std::move(proc), "Selector", "原色操作");
  AddMenuAction(QStringLiteral("原色操作(&S)"));
  auto* lay = new QGridLayout(this);
  const QStringList items = {QStringLiteral("R"), QStringLiteral("G"), QStringLiteral("B"),
                             QStringLiteral("0"), QStringLiteral("255"), QStringLiteral("指定")};
  const char* titles[3] = {"R", "G", "B"};
  for (int i = 0; i < 3; ++i) {
    rg[i] = new TRadioGroup(QString::fromLatin1(titles[i]), items, this);
    rg[i]->SetItemIndex(i);
    edr[i] = new TEditRight(this);
    edr[i]->setText(QStringLiteral("128"));
    edr[i]->setFixedWidth(48);
    edr[i]->KeyFilter = [](char16_t& k) { return IntKey(k); };
    ud[i] = new TUpDown(0, 255, 128, this);
    ud[i]->Associate = edr[i];
    lay->addWidget(rg[i], 0, i * 2, 1, 2);
    lay->addWidget(edr[i], 1, i * 2);
    lay->addWidget(ud[i], 1, i * 2 + 1);
    rg[i]->OnClick = [this] {
      updateEnabling();
      RequestPreview();
    };
    QObject::connect(edr[i], &QLineEdit::textChanged, this, [this] { RequestPreview(); });
    ud[i]->OnClick = [this](bool) { RequestPreview(); };
  }
  lay->setRowStretch(2, 1);
  updateEnabling();
}

void TKWSelectorForm::updateEnabling() {
  for (int i = 0; i < 3; ++i) {
    bool own = rg[i]->ItemIndex() == 5;
    edr[i]->setEnabled(own);
    ud[i]->setEnabled(own);
  }
}

void TKWSelectorForm::ReadControls(TSelectorPack& p) {
  p.SourceR = rg[0]->ItemIndex();
  p.SourceG = rg[1]->ItemIndex();
  p.SourceB = rg[2]->ItemIndex();
  p.ValueR = IntOfText(edr[0]->text(), 128);
  p.ValueG = IntOfText(edr[1]->text(), 128);
  p.ValueB = IntOfText(edr[2]->text(), 128);
}

void TKWSelectorForm::WriteControls(const TSelectorPack& p) {
  applying_ = true;
  const int32_t src[3] = {p.SourceR, p.SourceG, p.SourceB};
  const int32_t val[3] = {p.ValueR, p.ValueG, p.ValueB};
  for (int i = 0; i < 3; ++i) {
    rg[i]->SetItemIndex(src[i]);
    ud[i]->SetPosition(val[i]);
    edr[i]->setText(QString::number(val[i]));
  }
  updateEnabling();
  applying_ = false;
}

TKWUnit& SelectorUnit() {
  static TKWFormUnit<TKWSelectorForm, TSelectorPack> u("Selector", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
