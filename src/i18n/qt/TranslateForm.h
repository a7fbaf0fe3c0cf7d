#pragma once
// Applies the current language pack to a window: its caption from [Form_<name>]
// "Caption", then, for every component the window owns (its named descendants, in the
// order they were created), the font of the language and the texts of the pack's entries
// "<component>.Caption", ".Hint", ".Items<i>.Caption", ".Columns<i>.Caption",
// ".Items<i>.Text" and ".Filter". The first row of this table that the component is (or
// derives from) decides what is done; components of no row (edit fields, plain frames,
// themed labels, timers) are left alone:
//
//   row  component (Qt class)                          font  texts
//   1    QStatusBar                                    yes   -
//   2    TPanel                                        yes   caption
//   3    QLabel                                        yes   caption
//   4    QCheckBox                                     yes   caption
//   5    QPushButton (plain and picture buttons)       yes   caption, hint
//   6    QToolBar                                      yes   -
//   7    QToolButton on a QToolBar                     no    caption, hint
//   8    TImage                                        no    hint
//   9    QToolButton elsewhere                         yes   caption, hint
//   10   QRadioButton                                  yes   caption, hint
//   11   QAction (menu item)                           no    caption
//   12   a page of a QTabWidget                        yes   caption (the tab's text)
//   13   QGroupBox (not a TRadioGroup)                 yes   caption
//   14   TRadioGroup                                   yes   caption, items
//   15   TCheckListBox                                 yes   items
//   16   QListWidget                                   yes   items
//   17   TListView                                     yes   column titles
//   18   QTableView                                    yes   column titles
//   19   QTreeWidget                                   yes   node texts, all nodes in order
//   20   QComboBox                                     yes   items, replaced in place
//   21   TJetButton                                    yes   caption, hint
//   22   TJetCheckbox                                  yes   caption, hint
//   23   TSaveDialog                                   no    filter
//   24   TOpenDialog                                   no    filter
//
// Every text is read with its current value as the default, so an entry that is missing
// leaves the text as it was (after the pack escapes, which apply to the default too).
// Runs on the GUI thread and holds TranslateLock() for the whole walk; an error ends the
// walk where it happened and is not reported.

#include <string>

class QObject;
class QWidget;

namespace torvane {

// sectionOrEmpty: the window's pack section without "Form_"; empty means the window's
// objectName().
void TranslateForm(QWidget* window, const std::string& sectionOrEmpty);

// The row of the table above that decides for a component, or 0 when none does.
[[nodiscard]] int TranslateRowOf(const QObject* component);

} // namespace torvane
