// TKWScrEdit: the plain-text memo of a script tab.  Fixed-pitch font, silver
// text on black, no word wrap, tabs typed into the text.
#pragma once

#include <QPlainTextEdit>

#include "script/kwscript.h"

// The memo's font: fixed pitch, 13 pixels high.
QFont KWScriptFont();

class TKWScrEdit : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit TKWScrEdit(QWidget* parent = nullptr);

  // The memo's current text as a script.  The object belongs to the memo and
  // is refilled at every call.
  const TKWScript& Script();
  // Replaces the text with the lines of a script.
  void SetLines(const TKWScript& script);
  // Selects line index (0 = the first) and scrolls it into view.
  void SelectLine(int index);

 private:
  TKWScript script_;
};

class TScriptView : public QWidget {
  Q_OBJECT
 public:
  // An empty script.
  explicit TScriptView(QWidget* parent = nullptr);
  // The lines of a file; raises EInOutError when it cannot be read.
  explicit TScriptView(const std::string& fileName, QWidget* parent = nullptr);

  TKWScrEdit* seScript;
  // The file the text was read from or last saved to; "" for none.
  std::string FileName;
};
