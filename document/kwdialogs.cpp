#include "document/kwdialogs.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <cmath>

#include "document/intedit.h"
#include "imageio/spi.h"
#include "procdef/kwmessages.h"
#include "platform/sysutils.h"
#include "platform/types.h"

namespace {
QDialogButtonBox* okCancel(QDialog* d) {
  auto* b = new QDialogButtonBox(d);
  b->addButton("OK", QDialogButtonBox::AcceptRole);
  b->addButton("キャンセル", QDialogButtonBox::RejectRole);
  QObject::connect(b, &QDialogButtonBox::accepted, d, &QDialog::accept);
  QObject::connect(b, &QDialogButtonBox::rejected, d, &QDialog::reject);
  return b;
}
}  // namespace

TZoomDlg::TZoomDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("ZoomDlg");
  setWindowTitle("表示倍率");
  auto* lay = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel("表示倍率(0-999%)", this));
  edZoom = new TIntEdit(0, 999, this, 3);
  edZoom->setObjectName("edZoom");
  row->addWidget(edZoom);
  lay->addLayout(row);
  lay->addWidget(okCancel(this));
}

bool TZoomDlg::Execute(double& zoom) {
  edZoom->setText(QString::number(Round(static_cast<long double>(zoom) * 100)));
  edZoom->Edit()->selectAll();
  edZoom->setFocus();
  if (exec() != QDialog::Accepted) return false;
  bool ok = false;
  int v = edZoom->text().trimmed().toInt(&ok);
  if (!ok) v = 100;
  zoom = v / 100.0;
  return true;
}

void TZoomDlg::accept() {
  bool ok = false;
  const int v = edZoom->text().trimmed().toInt(&ok);
  if (ok && v <= 0) {
    ShowMessageBox(TMsgKind::Warning, "表示倍率は1から999%の範囲で入力してください。");
    edZoom->Edit()->selectAll();
    edZoom->setFocus();
    return;
  }
  QDialog::accept();
}

TACValueDlg::TACValueDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("ACValueDlg");
  setWindowTitle("不透明度の入力");
  auto* lay = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel("不透明度(0-255)", this));
  edValue = new TIntEdit(0, 255, this, 3);
  edValue->setObjectName("edValue");
  row->addWidget(edValue);
  lay->addLayout(row);
  lay->addWidget(okCancel(this));
}

bool TACValueDlg::Execute() {
  edValue->setText(QString::number(Value));
  edValue->Edit()->selectAll();
  edValue->setFocus();
  if (exec() != QDialog::Accepted) return false;
  Value = edValue->Value();  // EConvertError for a text that is no integer
  return true;
}

TZoomDlg& ZoomDlg() {
  static TZoomDlg* d = new TZoomDlg;
  return *d;
}

TACValueDlg& ACValueDlg() {
  static TACValueDlg* d = new TACValueDlg;
  return *d;
}

std::function<bool(TKWFileDialog&)> TKWFileDialog::Hook;

QString TKWFileDialog::QtFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString pats = parts[i + 1];
    pats.replace(';', ' ');
    out << parts[i] + " (" + pats.simplified() + ")";
  }
  return out.join(";;");
}

QString TKWFileDialog::ShownFilter() const {
  TSPIs* spis = TSPIs::Instance();
  if (!AddPluginFormats || !spis || spis->Formats().empty()) return Filter;
  QStringList parts = Filter.split('|');
  if (parts.size() < 2 || parts.size() % 2) return Filter;
  QStringList patterns, entries;
  for (const TSPIFormat& f : spis->Formats()) {
    const QString pat = "*." + QString::fromStdString(f.Extension).toLower();
    if (parts[1].split(';').contains(pat, Qt::CaseInsensitive) || patterns.contains(pat)) continue;
    patterns << pat;
    QString name = QString::fromStdString(f.FormatName).trimmed();
    if (name.isEmpty()) name = QString::fromStdString(f.Extension).toUpper();
    entries << name + "(" + pat + ")" << pat;
  }
  if (patterns.isEmpty()) return Filter;
  parts[1] += ";" + patterns.join(';');
  const int last = parts.size() > 2 ? parts.size() - 2 : parts.size();
  for (int i = entries.size() - 1; i >= 0; --i) parts.insert(last, entries[i]);
  return parts.join('|');
}

QString TKWFileDialog::FilterExtension(int index) const {
  const QStringList parts = ShownFilter().split('|');
  if (index < 0 || 2 * index + 1 >= parts.size()) return QString();
  for (QString pat : parts[2 * index + 1].split(';')) {
    pat = pat.trimmed();
    if (!pat.startsWith("*.")) continue;
    const QString ext = pat.mid(1);
    if (ext.size() > 1 && !ext.contains('*') && !ext.contains('?')) return ext;
  }
  return QString();
}

bool TKWFileDialog::Execute(QWidget* parent) {
  Files.clear();
  SelectedFilter = 0;
  bool ok = false;
  if (Hook) {
    ok = Hook(*this);
  } else {
    // Nothing waits for a user who is not there (batch runs).
    if (!KWInteractive()) return false;
    const QStringList entries = QtFilter(ShownFilter()).split(";;");
    QFileDialog dlg(parent, Title, QString());
    dlg.setNameFilters(entries);
    // The descriptions name their patterns already.
    dlg.setOption(QFileDialog::HideNameFilterDetails, true);
    // Room for the names, sizes and dates of a folder of images.
    dlg.resize(dlg.sizeHint().expandedTo(QSize(780, 500)));
    if (Kind == Save) {
      dlg.setAcceptMode(QFileDialog::AcceptSave);
      dlg.setFileMode(QFileDialog::AnyFile);
      // The dialog adds the chosen type's extension itself, so that its
      // overwrite question is about the file really written.
      auto suffix = [this, &dlg, entries](const QString& filter) {
        dlg.setDefaultSuffix(FilterExtension(std::max<int>(0, entries.indexOf(filter))).mid(1));
      };
      QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, suffix);
      suffix(entries.value(0));
    } else {
      dlg.setAcceptMode(QFileDialog::AcceptOpen);
      dlg.setFileMode(MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    }
    if (dlg.exec() == QDialog::Accepted) {
      Files = dlg.selectedFiles();
      SelectedFilter = std::max<int>(0, entries.indexOf(dlg.selectedNameFilter()));
    }
    ok = !Files.isEmpty();
  }
  if (ok && Kind == Save && !Files.isEmpty() && QFileInfo(Files.first()).suffix().isEmpty()) {
    const QString ext = FilterExtension(SelectedFilter);
    if (!ext.isEmpty()) Files.first() += ext;
  }
  return ok && !Files.isEmpty();
}
