// Small dialogs of the documents: the zoom dialog, the opacity dialog, and
// the file dialogs with their titles and filters.
#pragma once

#include <functional>

#include <QDialog>
#include <QString>
#include <QStringList>

class TIntEdit;

// "表示倍率": zoom in percent, 0 to 999.
class TZoomDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TZoomDlg(QWidget* parent = nullptr);
  // Presets round(zoom x 100); on OK returns true with the new zoom (the
  // entered percentage / 100; 100 % when the text is not an integer).
  bool Execute(double& zoom);
  TIntEdit* edZoom;
  // A zoom of 0 % shows nothing: OK says so and the dialog stays open.
  void accept() override;
};

// "不透明度の入力": opacity 0 to 255; remembers the last accepted value.
class TACValueDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TACValueDlg(QWidget* parent = nullptr);
  // On OK the text is converted (EConvertError when it is no integer, shown
  // by the caller) and kept.
  bool Execute();
  int Value = 128;
  TIntEdit* edValue;
};

// The program's dialogs, created once (the main window creates them first).
TZoomDlg& ZoomDlg();
TACValueDlg& ACValueDlg();

// A file dialog described as data: title, filter in the form
// "description|patterns|description|patterns" (patterns separated by ';').
class TKWFileDialog {
 public:
  enum TKind { Open, Save };
  TKWFileDialog(TKind kind, const QString& title, const QString& filter)
      : Kind(kind), Title(title), Filter(filter) {}
  TKind Kind;
  QString Title;
  QString Filter;
  bool MultiSelect = false;
  bool FileMustExist = false;
  // The formats of the loaded image plug-ins join the first entry of the
  // filter and get entries of their own before the last one.
  bool AddPluginFormats = false;
  QStringList Files;  // chosen files after Execute
  // The entry of the filter chosen in the dialog (0 = the first).
  int SelectedFilter = 0;
  QString FileName() const { return Files.isEmpty() ? QString() : Files.first(); }
  // Shows the dialog.  Saving: a name without an extension takes the first
  // extension of the chosen file type ("*.*" adds none).
  bool Execute(QWidget* parent = nullptr);

  // The filter in Qt's form ("description (patterns);;...").
  static QString QtFilter(const QString& filter);
  // The filter shown: Filter, with the plug-in formats when asked for.
  QString ShownFilter() const;
  // The first concrete extension of entry index of the shown filter
  // (".jpg" for "*.jpg;*.jpeg"); empty when it has none.
  QString FilterExtension(int index) const;
  // Replaces the dialog (tests): returns false for Cancel, true with Files
  // (and SelectedFilter) set.
  static std::function<bool(TKWFileDialog&)> Hook;
};
