#include "proclib/kwgammaform.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <cmath>

#include "platform/sysutils.h"
#include "proclib/kwunits.h"
#include "ui/messages.h"

namespace kwlib {

namespace {

QString GammaText(double g) { return QString::asprintf("%4.2f", g); }

// The number of a gamma field, or nothing.
bool NumberOf(const QString& text, double& v) {
  bool ok = false;
  v = text.trimmed().toDouble(&ok);
  return ok && std::isfinite(v);
}

}  // namespace

float TKWGammaForm::GammaOfText(const QString& text) {
  double v;
  if (!NumberOf(text, v)) return 1.0f;
  if (std::fabs(v) < 0.00001) return 0.00001f;
  return float(v);
}

TKWGammaForm::TKWGammaForm(TGammaPack* pack, TKWUnit* unit) : TKWProcForm(unit) {
  auto proc = TKWProcessor::Create<TKWGamma>(pack);
  proc->View = this;
  hist_ = std::make_unique<THistgram>(false);
  hist_->SetAllChannels(true);
  proc->Histogram = hist_.get();
  Setup(std::move(proc), "Gamma", "ガンマ補正");
  AddMenuAction(QStringLiteral("ガンマ補正(&G)"));

  pbCurve = new TPaintBox(this);
  pbCurve->setFixedSize(256, 256);
  pbCurve->setToolTip(QStringLiteral(
      "暗い画像では、累積ヒストグラムが対角線より上に描かれます。明るい画像では、逆に、対角線より下側に描かれます。"));
  pbCurve->OnPaint = [this](QPainter& p) { paintCurve(p); };

  rbLuminance = new QRadioButton(QStringLiteral("輝度Yで処理"), this);
  rbColor = new QRadioButton(QStringLiteral("RGBで処理"), this);
  rbLuminance->setChecked(true);
  gbY = new QGroupBox(this);
  gbRGB = new QGroupBox(this);
  auto* ly = new QHBoxLayout(gbY);
  auto* lc = new QGridLayout(gbRGB);
  const char* labels[4] = {"Y", "R", "G", "B"};
  for (int i = 0; i < 4; ++i) {
    edrGamma[i] = new TEditRight(i == 0 ? gbY : gbRGB);
    edrGamma[i]->setText(QStringLiteral("1.00"));
    edrGamma[i]->setFixedWidth(56);
    edrGamma[i]->KeyFilter = [](char16_t& k) { return ValueKey(k); };
    udGamma[i] = new TUpDown(1, 500, 100, i == 0 ? gbY : gbRGB);
    udGamma[i]->Associate = edrGamma[i];
    udGamma[i]->Format = [](int pos) { return GammaText(pos / 100.0); };
    // A click starts from the field's own value.
    udGamma[i]->OnBeforeClick = [this, i] {
      double v;
      if (NumberOf(edrGamma[i]->text(), v))
        udGamma[i]->SetPosition(int(std::clamp<int64_t>(Round((long double)v * 100), 1, 500)));
    };
    QObject::connect(edrGamma[i], &QLineEdit::textChanged, this, [this] { RequestPreview(); });
    if (i == 0) {
      ly->addWidget(new QLabel(QStringLiteral("γ"), gbY));
      ly->addWidget(edrGamma[i]);
      ly->addWidget(udGamma[i]);
      ly->addStretch();
    } else {
      lc->addWidget(new QLabel(QString::fromLatin1(labels[i]), gbRGB), i - 1, 0);
      lc->addWidget(edrGamma[i], i - 1, 1);
      lc->addWidget(udGamma[i], i - 1, 2);
    }
  }

  auto* gbCurve = new QGroupBox(QStringLiteral("トーン曲線の表示"), this);
  auto* lcv = new QGridLayout(gbCurve);
  const char* curveNames[4] = {"輝度Y", "赤成分R", "緑成分G", "青成分B"};
  for (int i = 0; i < 4; ++i) {
    cbCurve[i] = new QCheckBox(QString::fromUtf8(curveNames[i]), gbCurve);
    cbCurve[i]->setChecked(true);
    lcv->addWidget(cbCurve[i], i / 2, i % 2);
    QObject::connect(cbCurve[i], &QCheckBox::clicked, this, [this] { pbCurve->update(); });
  }
  auto* note = new QPlainTextEdit(gbCurve);
  note->setReadOnly(true);
  note->setPlainText(QStringLiteral(
      "濃い太線：画像の累積ヒストグラム\n薄い太線：処理後の累積ヒストグラム\n細線：トーン曲線"));
  note->setMaximumHeight(64);
  lcv->addWidget(note, 2, 0, 1, 2);

  cbAutoGamma = new QCheckBox(QStringLiteral("ヒストグラムが平坦になるようにγ値を自動決定"), this);
  btAutoGamma = new QPushButton(QStringLiteral("自動γ値を入力ボックスに設定"), this);
  cbUseToneFile = new QCheckBox(QStringLiteral("トーン曲線をファイルで指定"), this);
  edToneFile = new QLineEdit(this);
  btBrowse = new QPushButton(QStringLiteral("参照..."), this);
  btSaveTone = new QPushButton(QStringLiteral("現在のトーン曲線をファイルに出力..."), this);

  auto* lay = new QVBoxLayout(this);
  lay->addWidget(pbCurve);
  lay->addWidget(rbLuminance);
  lay->addWidget(gbY);
  lay->addWidget(rbColor);
  lay->addWidget(gbRGB);
  lay->addWidget(gbCurve);
  lay->addWidget(cbAutoGamma);
  lay->addWidget(btAutoGamma);
  lay->addWidget(cbUseToneFile);
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(edToneFile);
  fileRow->addWidget(btBrowse);
  lay->addLayout(fileRow);
  lay->addWidget(btSaveTone);
  lay->addStretch();

  for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{rbLuminance, rbColor, cbAutoGamma,
                                                                    cbUseToneFile})
    QObject::connect(b, &QAbstractButton::clicked, this, [this] { optionClick(); });
  QObject::connect(btAutoGamma, &QPushButton::clicked, this, [this] { SetAutoGammas(); });
  QObject::connect(edToneFile, &QLineEdit::returnPressed, this,
                   [this] { LoadToneFileNow(edToneFile->text()); });
  QObject::connect(btBrowse, &QPushButton::clicked, this, [this] {
    QString name = QFileDialog::getOpenFileName(this, QStringLiteral("トーン曲線ファイルを指定"),
                                                edToneFile->text(),
                                                QStringLiteral("Comma Separate Value file(*.csv)"));
    if (name.isEmpty()) return;
    edToneFile->setText(name);
    LoadToneFileNow(name);
  });
  QObject::connect(btSaveTone, &QPushButton::clicked, this, [this] {
    QString name = QFileDialog::getSaveFileName(this, QStringLiteral("トーン曲線を出力"), QString(),
                                                QStringLiteral("Comma Separate Value file(*.csv)"));
    if (name.isEmpty()) return;
    try {
      proc_->SaveToneCurve(name.toStdString());
    } catch (const std::exception& e) {
      ShowError(e.what());
    }
    pbCurve->update();
  });
  hist_->OnFinish = [this](THistgram*) { pbCurve->update(); };
  QObject::connect(&idle_, &QTimer::timeout, this, [this] { IdleCheck(); });
  idle_.start(250);
  updateEnabling();
}

void TKWGammaForm::StopWorkers() {
  idle_.stop();
  if (proc_) proc_->Histogram = nullptr;
  hist_.reset();
}

void TKWGammaForm::updateEnabling() {
  const bool tone = cbUseToneFile->isChecked();
  gbY->setEnabled(rbLuminance->isChecked());
  gbRGB->setEnabled(rbColor->isChecked());
  rbLuminance->setEnabled(!tone);
  rbColor->setEnabled(!tone);
  cbAutoGamma->setEnabled(!tone);
  edToneFile->setEnabled(tone);
  btBrowse->setEnabled(tone);
}

void TKWGammaForm::optionClick() {
  updateEnabling();
  pbCurve->update();
  RequestPreview();
}

void TKWGammaForm::ReadControls(TGammaPack& p) {
  p.Color = rbColor->isChecked();
  p.Gamma = GammaOfText(edrGamma[0]->text());
  p.GammaR = GammaOfText(edrGamma[1]->text());
  p.GammaG = GammaOfText(edrGamma[2]->text());
  p.GammaB = GammaOfText(edrGamma[3]->text());
  p.YCurve = cbCurve[0]->isChecked();
  p.RCurve = cbCurve[1]->isChecked();
  p.GCurve = cbCurve[2]->isChecked();
  p.BCurve = cbCurve[3]->isChecked();
  p.AutoGamma = cbAutoGamma->isChecked();
  p.UseToneFile = cbUseToneFile->isChecked();
  p.ToneFileName = edToneFile->text().toStdString();
}

void TKWGammaForm::WriteControls(const TGammaPack& p) {
  applying_ = true;
  const float g[4] = {p.Gamma, p.GammaR, p.GammaG, p.GammaB};
  for (int i = 0; i < 4; ++i) {
    long double pc = (long double)g[i] * 100.0L;
    udGamma[i]->SetPosition(int(std::clamp<int64_t>(std::isfinite(double(pc)) ? Round(pc) : 100, 1, 500)));
    edrGamma[i]->setText(GammaText(g[i]));
  }
  (p.Color ? rbColor : rbLuminance)->setChecked(true);
  cbCurve[0]->setChecked(p.YCurve);
  cbCurve[1]->setChecked(p.RCurve);
  cbCurve[2]->setChecked(p.GCurve);
  cbCurve[3]->setChecked(p.BCurve);
  cbAutoGamma->setChecked(p.AutoGamma);
  cbUseToneFile->setChecked(p.UseToneFile);
  edToneFile->setText(QString::fromStdString(p.ToneFileName));
  updateEnabling();
  applying_ = false;
}

void TKWGammaForm::InitTables() {
  proc_->BuildTables();
  for (int i = 0; i < 4; ++i) seen_[i] = GammaOfText(edrGamma[i]->text());
  const TGammaPack& p = *proc_->Settings();
  if (p.UseToneFile) {
    try {
      proc_->LoadToneCurve(p.ToneFileName);
    } catch (const std::exception&) {
      // A tone file that is gone by now leaves the gamma tables in place.
    }
  }
}

void TKWGammaForm::SetAutoGammas() {
  if (!hist_) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const THistResult h = hist_->GetHistgram();
  const uint32_t* src[4] = {h.Lum(), h.Red(), h.Green(), h.Blue()};
  for (int i = 0; i < 4; ++i) {
    float g = TKWGamma::CalcAutoGamma(src[i], 255);
    edrGamma[i]->setText(QString::asprintf("%.2f", double(g)));
    udGamma[i]->SetPosition(int(Round((long double)g * 100)));
    edrGamma[i]->setText(QString::asprintf("%.2f", double(g)));
  }
  QApplication::restoreOverrideCursor();
}

void TKWGammaForm::LoadToneFileNow(const QString& name) {
  try {
    proc_->LoadToneCurve(name.toStdString());
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
  pbCurve->update();
  RequestPreview();
}

void TKWGammaForm::IdleCheck() {
  if (!proc_) return;
  TToneTable* tables[4] = {&proc_->TableY, &proc_->TableR, &proc_->TableG, &proc_->TableB};
  for (int i = 0; i < 4; ++i) {
    double v;
    if (!NumberOf(edrGamma[i]->text(), v)) return;
    if (v != seen_[i]) {
      seen_[i] = v;
      TKWGamma::MakeTable(*tables[i], GammaOfText(edrGamma[i]->text()));
      pbCurve->update();
    }
  }
}

void TKWGammaForm::paintCurve(QPainter& p) {
  const int W = pbCurve->width(), H = pbCurve->height();
  p.fillRect(0, 0, W, H, Qt::white);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(224, 224, 224));
  p.drawPolygon(QPolygon({QPoint(0, H), QPoint(0, 0), QPoint(W, 0)}));
  if (!proc_) return;
  const THistResult h = hist_ ? hist_->GetHistgram() : THistResult();
  const double n = h.PixelCount ? h.PixelCount : 1;
  struct Channel {
    bool shown;
    const uint32_t* hist;
    const int32_t* table;
    QColor dark, light;
  };
  const Channel ch[4] = {
      {cbCurve[1]->isChecked(), h.Red(), proc_->TableR, QColor(128, 0, 0), QColor(255, 160, 160)},
      {cbCurve[2]->isChecked(), h.Green(), proc_->TableG, QColor(0, 128, 0), QColor(160, 255, 160)},
      {cbCurve[3]->isChecked(), h.Blue(), proc_->TableB, QColor(0, 0, 128), QColor(160, 160, 255)},
      {cbCurve[0]->isChecked(), h.Lum(), proc_->TableY, QColor(64, 64, 64), QColor(192, 192, 192)},
  };
  auto X = [W](int level) { return level * W / 256; };
  for (const Channel& c : ch) {
    if (!c.shown) continue;
    QPolygon before, after, curve;
    double cum = 0, mapped[256] = {};
    for (int j = 0; j < 256; ++j) mapped[std::clamp(c.table[j], 0, 255)] += c.hist[j];
    double cumAfter = 0;
    for (int j = 0; j < 256; ++j) {
      cum += c.hist[j];
      cumAfter += mapped[j];
      before << QPoint(X(j), H - int(cum * H / n));
      after << QPoint(X(j), H - int(cumAfter * H / n));
      curve << QPoint(X(j), H - int(int64_t(std::clamp(c.table[j], 0, 255)) * H / 256));
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c.dark, 3));
    p.drawPolyline(before);
    p.setPen(QPen(c.light, 3));
    p.drawPolyline(after);
    p.setPen(QPen(c.dark, 1));
    p.drawPolyline(curve);
  }
}

namespace {

class TGammaUnit : public TKWFormUnit<TKWGammaForm, TGammaPack> {
 public:
  using TKWFormUnit::TKWFormUnit;

 protected:
  void AfterShortCuts() override { panel_->InitTables(); }
};

}  // namespace

TKWUnit& GammaUnit() {
  static TGammaUnit u("Gamma", {{"ShortCut", ""}});
  return u;
}

}  // namespace kwlib
