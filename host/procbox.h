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
  // A new page that scrolls, so that a tall panel does not make the box (and
  // the main window it docks into) taller than the screen.  Returns the dock
  // site inside it; index receives the page's index.
  QWidget* NewScrollPage(int* index = nullptr);
  // The dock site of page i made by NewScrollPage, or null.
  QWidget* ScrollPageSite(int i) const;
  int PageCount() const { return pcPages_->count(); }
  // The panel shown in page i (first child widget of the site), or null.
  QWidget* PanelOfPage(int i) const;

 signals:
  // A panel of this box became the active page.
  void PageActivated(int index);

 private:
  QTabWidget* pcPages_;
};
