#include "proclib/kwgradform.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <cmath>

#include "proclib/kwunits.h"

namespace kwlib {

namespace {

// A number of a field; false when the text is none.
bool NumberOf(const QString& text, double& v) {
  bool ok = false;
  v = text.trimmed().toDouble(&ok);
  return ok && std::isfinite(v);
}

QString Fixed0(double v) { return QString::asprintf("%0.0f", v); }

const char* const kHeader[6] = {"位置", "赤輝度", "位置", "緑輝度", "位置", "青輝度"};

}  // namespace

TKWGradationForm::TKWGradationForm(TKWGradationPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWGradation>(pack);
  proc->View = this;
  Setup(std::move(proc), "Gradation", "グラデーション");
  AddMenuAction(QStringLiteral("グラデーション"));

  auto* lay = new QVBoxLayout(this);
  pbGradCurve = new TPaintBox(this);
  pbGradCurve->setFixedHeight(24);
  pbGradCurve->setMinimumWidth(64);
  pbGradCurve->OnPaint = [this](QPainter& p) { paintStrip(p); };
  pbGradCurve->OnMouseUp = [this](QMouseEvent*) { pbGradCurve->update(); };
  lay->addWidget(pbGradCurve);

  auto intEdit = [this](const QString& text) {
    auto* e = new TEditRight(this);
    e->setMaxLength(3);
    e->setText(text);
    e->setFixedWidth(40);
    e->KeyFilter = [](char16_t& k) { return IntKey(k); };
    e->OnExit = [this] { GradCtrlExit(); };
    return e;
  };
  auto valueEdit = [this](const QString& text) {
    auto* e = new TEditRight(this);
    e->setText(text);
    e->setFixedWidth(56);
    e->KeyFilter = [](char16_t& k) { return ValueKey(k); };
    e->OnExit = [this] { GradCtrlExit(); };
    return e;
  };

  auto* colors = new QGridLayout;
  colors->addWidget(new QLabel(QStringLiteral("開始色"), this), 0, 0);
  colors->addWidget(new QLabel(QStringLiteral("終了色"), this), 1, 0);
  for (int i = 0; i < 3; ++i) {
    edrStart[i] = intEdit(QStringLiteral("0"));
    edrEnd[i] = intEdit(QStringLiteral("255"));
    colors->addWidget(edrStart[i], 0, i + 1);
    colors->addWidget(edrEnd[i], 1, i + 1);
  }
  colors->setColumnStretch(4, 1);
  lay->addLayout(colors);

  auto* form = new QGridLayout;
  form->addWidget(new QLabel(QStringLiteral("スタイル"), this), 0, 0);
  cbStyle = new QComboBox(this);
  cbStyle->addItem(QStringLiteral("直線(左から右へ)"));
  cbStyle->addItem(QStringLiteral("円(中心から外へ)"));
  QObject::connect(cbStyle, &QComboBox::activated, this, [this] { GradCtrlExit(); });
  form->addWidget(cbStyle, 0, 1, 1, 3);
  form->addWidget(new QLabel(QStringLiteral("回転角 [度]"), this), 1, 0);
  edrRotate = valueEdit(QStringLiteral("0"));
  form->addWidget(edrRotate, 1, 1);
  form->addWidget(new QLabel(QStringLiteral("オフセット(X , Y) [%]"), this), 2, 0);
  edrOffsetX = valueEdit(QStringLiteral("0"));
  edrOffsetY = valueEdit(QStringLiteral("0"));
  form->addWidget(edrOffsetX, 2, 1);
  form->addWidget(edrOffsetY, 2, 2);
  form->addWidget(new QLabel(QStringLiteral("拡大率[%]"), this), 3, 0);
  edrScale = valueEdit(QStringLiteral("100"));
  form->addWidget(edrScale, 3, 1);
  form->setColumnStretch(3, 1);
  lay->addLayout(form);

  lay->addWidget(new QLabel(QStringLiteral("コントロールポイント"), this));
  sgCtrlPt = new QTableWidget(6, 6, this);
  sgCtrlPt->horizontalHeader()->hide();
  sgCtrlPt->verticalHeader()->hide();
  for (int c = 0; c < 6; ++c) {
    sgCtrlPt->setColumnWidth(c, 44);
    for (int r = 0; r < 6; ++r) {
      auto* item = new QTableWidgetItem(r == 0 ? QString::fromUtf8(kHeader[c]) : QStringLiteral("0"));
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (r == 0) {
        item->setFlags(Qt::ItemIsEnabled);
        item->setBackground(sgCtrlPt->palette().button());
        item->setTextAlignment(Qt::AlignCenter);
      }
      sgCtrlPt->setItem(r, c, item);
    }
  }
  for (int r = 0; r < 6; ++r) sgCtrlPt->setRowHeight(r, 20);
  sgCtrlPt->setFixedHeight(6 * 20 + 4);
  QObject::connect(sgCtrlPt, &QTableWidget::cellChanged, this, [this](int row, int) {
    if (row > 0) GradCtrlExit();
  });
  lay->addWidget(sgCtrlPt);
  lay->addStretch();
}

QString TKWGradationForm::cell(int row, int col) const {
  QTableWidgetItem* it = sgCtrlPt->item(row, col);
  return it ? it->text() : QString();
}

void TKWGradationForm::setCell(int row, int col, const QString& text) {
  if (QTableWidgetItem* it = sgCtrlPt->item(row, col)) it->setText(text);
}

void TKWGradationForm::GradCtrlExit() {
  if (applying_) return;
  RequestPreview();
  pbGradCurve->update();
}

void TKWGradationForm::ReadControls(TKWGradationPack& p) {
  for (int i = 0; i < 3; ++i) {
    p.Begin(i) = IntOfText(edrStart[i]->text(), 0);
    p.End(i) = IntOfText(edrEnd[i]->text(), 0);
  }
  p.Style = cbStyle->currentIndex();
  // Rotate, the offsets and the scale in turn: the first text that is no
  // number leaves itself and the rest unchanged.
  [&] {
    double v;
    if (!NumberOf(edrRotate->text(), v)) return;
    p.Rotate = float(v);
    if (!NumberOf(edrOffsetX->text(), v)) return;
    p.OffsetX = float(v / 100);
    if (!NumberOf(edrOffsetY->text(), v)) return;
    p.OffsetY = float(v / 100);
    if (!NumberOf(edrScale->text(), v)) return;
    p.Scale = float(v / 100);
  }();
  for (int n = 0; n < 5; ++n) {
    for (int ch = 0; ch < 3; ++ch) p.Value(ch, n) = IntOfText(cell(n + 1, 2 * ch + 1), 0);
    for (int ch = 0; ch < 3; ++ch) {
      double v;
      if (!NumberOf(cell(n + 1, 2 * ch), v)) break;
      p.Pos(ch, n) = float(v * 0.01);
    }
  }
}

void TKWGradationForm::WriteControls(const TKWGradationPack& p) {
  applying_ = true;
  const int32_t begins[3] = {p.R_Begin, p.G_Begin, p.B_Begin};
  const int32_t ends[3] = {p.R_End, p.G_End, p.B_End};
  for (int i = 0; i < 3; ++i) {
    edrStart[i]->setText(QString::number(begins[i]));
    edrEnd[i]->setText(QString::number(ends[i]));
  }
  cbStyle->setCurrentIndex(p.Style >= 0 && p.Style < cbStyle->count() ? p.Style : -1);
  edrRotate->setText(Fixed0(p.Rotate));
  edrOffsetX->setText(Fixed0(double(p.OffsetX) * 100));
  edrOffsetY->setText(Fixed0(double(p.OffsetY) * 100));
  edrScale->setText(Fixed0(double(p.Scale) * 100));
  for (int c = 0; c < 6; ++c) setCell(0, c, QString::fromUtf8(kHeader[c]));
  for (int n = 0; n < 5; ++n)
    for (int ch = 0; ch < 3; ++ch) {
      setCell(n + 1, 2 * ch, Fixed0(double(p.Pos(ch, n)) * 100));
      setCell(n + 1, 2 * ch + 1, QString::number(p.Value(ch, n)));
    }
  applying_ = false;
  pbGradCurve->update();
}

std::vector<TColor> TKWGradationForm::StripColors() {
  const int w = pbGradCurve->width();
  std::vector<TColor> out;
  if (!proc_ || w <= 0) return out;
  proc_->UpdateParam();
  std::vector<int32_t> t(3 * size_t(w));
  proc_->MakeGradTable(t.data(), t.data() + w, t.data() + 2 * w, w);
  out.resize(size_t(w));
  for (int x = 0; x < w; ++x)
    out[size_t(x)] = (uint32_t(t[size_t(x)]) + 256u * uint32_t(t[size_t(w + x)]) +
                      65536u * uint32_t(t[size_t(2 * w + x)])) & 0xFFFFFFu;
  return out;
}

void TKWGradationForm::paintStrip(QPainter& p) {
  p.fillRect(pbGradCurve->rect(), Qt::black);
  const std::vector<TColor> colors = StripColors();
  const int h = pbGradCurve->height();
  for (int x = 0; x < int(colors.size()); ++x) {
    const TColor c = colors[size_t(x)];
    p.setPen(QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)));
    p.drawLine(x, 0, x, h - 1);
  }
}

TKWUnit& GradationUnit() {
  static TKWFormUnit<TKWGradationForm, TKWGradationPack> u("KWGradation", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
