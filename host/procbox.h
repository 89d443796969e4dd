// TKWProcBox: the common frame of the filter, mixer and generator boxes: a
// dock window whose page control holds one page per registered panel.
#pragma once

#include <QDockWidget>
#include <QTabWidget>

#include "procdef/kwinfo.h"

class TKWProcBox : public QDockWidget {
  Q_OBJECT
 public:
  TKWProcBox(const QString& title, const QString& objectName, QWidget* parent = nullptr);

  QTabWidget* PageControl() const { return pcPages_; }
  // A new page for a panel: the returned widget is the dock site the panel
  // docks into.  The page is named after the panel's caption once docked.
  QWidget* NewPage();
  // Names every page after the caption (window title) of the panel it holds.
  void UpdatePageNames();
  int PageCount() const { return pcPages_->count(); }
  // The panel shown in page i (first child widget of the site), or null.
  QWidget* PanelOfPage(int i) const;

 signals:
  // A panel of this box became the active page.
  void PageActivated(int index);

 private:
  QTabWidget* pcPages_;
};

// The generator box keeps its current generator and docks every
// registered panel; the work of generating is done by the box built on it.
class TKWGeneratorHostBox : public TKWProcBox {
  Q_OBJECT
 public:
  explicit TKWGeneratorHostBox(QWidget* parent = nullptr);
  void AddGenerator(TGeneratorInfo* info);
  TKWBasicGenerator* CurrentGenerator() const { return current_; }
  std::function<void(QObject*)> OnExecute;

 private:
  TKWBasicGenerator* current_ = nullptr;
};
