#pragma once
// The main window's design in one place: its size and base font, the bands from top to
// bottom, the places of the controls that stand at fixed places (by component name), and
// the measures of the parts that Qt layouts arrange (the strip of entry fields, the log,
// the status bar). Torvane_608.cpp creates the controls and applies these; it states no
// coordinate of its own.
//
// One more control: a row in Places (or in EntryStrip) under its component name. The
// window tests check, in every shipped language, that each row's control exists, stands
// inside its parent, covers no other visible control and shows its whole text. The button
// column has no free row (a fourth would reach the language list), so more buttons and the
// progress bar stand in the run band (Panel4) below the entry area, which takes its height
// from the log, so every designed control keeps its place.

#include "i18n/qt/FormLayout.h"

#include <QSize>

namespace torvane::frmTorvaneDesign {

// A fixed client area; the base font is 12 pixels high, 9 points at the 96 dpi the
// layout is made for.
inline constexpr QSize ClientSize{789, 607};
inline constexpr int BaseFontPoints = 9;

// The bands, top to bottom: the banner (Panel1), the entry area (Panel3), the run band
// (Panel4: where a run stands, the settings button and the site upgrade button), the
// operation log (GroupBox3, whatever height is left) and the status bar (StatusBar1, its own
// height).
inline constexpr int BannerHeight = 69;
inline constexpr int EntryAreaHeight = 235;
inline constexpr int RunBandHeight = 34;

// The banner: the description at the left, the logo at the right.
inline constexpr QSize LogoSize{200, 58};
inline constexpr int LogoRightMargin = 8;

// The entry area's right-hand column: one row per button (a hidden button keeps its row),
// then the language list.
struct TButtonColumn {
    int Left = 0;
    int Width = 0;
    int ButtonHeight = 0;
    int FirstTop = 0;
    int Pitch = 0; // from one button's top to the next one's

    [[nodiscard]] constexpr TPlace Row(std::string_view component, int row) const {
        return {component, Left, FirstTop + row * Pitch, Width, ButtonHeight};
    }
    [[nodiscard]] constexpr int Right() const { return Left + Width; }
};
inline constexpr TButtonColumn ButtonColumn{590, 185, 32, 14, 42};

// A drop-down list and the label before it: the label ends 4 pixels before the list, two
// pixels lower and two pixels shorter, its text right-aligned.
struct TListWithLabel {
    std::string_view List;
    std::string_view Label;
    int ListLeft = 0;
    int ListTop = 0;
    int ListWidth = 0;
    int LabelWidth = 0;

    static constexpr int ListHeight = 24;
    static constexpr int LabelGap = 4;
    [[nodiscard]] constexpr TPlace ListPlace() const {
        return {List, ListLeft, ListTop, ListWidth, ListHeight};
    }
    [[nodiscard]] constexpr TPlace LabelPlace() const {
        return {Label, ListLeft - LabelGap - LabelWidth, ListTop + 2, LabelWidth, ListHeight - 2};
    }
};
inline constexpr TListWithLabel LanguageRow{"cmbLan", "Label1", ButtonColumn.Right() - 109, 144,
                                            109, 72};
// The series list and its label are hidden; they stand under the instructions.
inline constexpr TListWithLabel SeriesRow{"cmbMType", "lblIPCType", 106, 148, 120, 90};

// The strip of entry fields (Panel2) along the bottom of the entry area, inside its frame.
inline constexpr int EntryStripHeight = 54;
inline constexpr int EntryAreaInset = 2;

// The run band's two buttons share the button column's width.
inline constexpr int SettingsButtonWidth = 84;
inline constexpr int SiteButtonWidth = 95;

// The controls at fixed places, in their parents (Panel1, Panel3, Panel4).
inline constexpr TPlace Places[] = {
    {"Image1", ClientSize.width() - LogoRightMargin - LogoSize.width(), 5, LogoSize.width(),
     LogoSize.height()},
    // lblSoftName stands over the start of the description; its place follows the fonts
    // (TfrmTorvane::PlaceSoftName).
    {"lblSoftMemo", 10, 6, 542, 58},
    {"lblIPMemo", 12, 10, 560, 166},
    ButtonColumn.Row("btnFindCam", 0),
    ButtonColumn.Row("btnUpgrdSysByIP", 1),
    ButtonColumn.Row("btnUpgrdUIByIP", 2),
    LanguageRow.LabelPlace(),
    LanguageRow.ListPlace(),
    SeriesRow.LabelPlace(),
    SeriesRow.ListPlace(),
    {"Panel2", EntryAreaInset, EntryAreaHeight - EntryStripHeight - EntryAreaInset,
     ClientSize.width() - 2 * EntryAreaInset, EntryStripHeight},
    // The run band: the progress bar under the instructions, the phase in words after it,
    // under the button column the settings button and, at the band's right end, the site
    // upgrade window's button.
    {"ProgressBar1", 12, 9, 200, 16},
    {"lblPhase", 220, 6, ButtonColumn.Left - 8 - 220, 22},
    {"btnSettings", ButtonColumn.Left, 2, SettingsButtonWidth, 28},
    {"btnSiteUpgrade", ButtonColumn.Right() - SiteButtonWidth, 2, SiteButtonWidth, 28},
};

// The entry strip, left to right: each label with its field. The fields share the width
// the labels leave by their stretch factors; the port field has a fixed width. Between a
// label and its field stand Spacing pixels, between a field and the next label FieldGap
// more.
struct TStripField {
    std::string_view Label;
    std::string_view Edit;
    int Width = 0; // the least width, or the fixed width when Stretch is 0
    int Stretch = 0;
};
inline constexpr TStripField EntryStrip[] = {
    {"lblIPCIP", "edIP", 130, 3},
    {"lblIPCPort", "edPort", 64, 0},
    {"lblIPCUser", "edAcc", 100, 2},
    {"lblIPCPwd", "edpwd", 100, 2},
};
struct TStripSpacing {
    int Margin = 0; // left and right
    int Spacing = 0;
    int FieldGap = 0;
};
inline constexpr TStripSpacing EntryStripSpacing{10, 6, 8};

// The log inside its group box: left, top, right, bottom margins.
inline constexpr int LogMargins[4] = {6, 4, 6, 6};

// The status bar's two panels: the note and the copyright line, or in English the note
// alone, across both.
inline constexpr int StatusPanelWidth = 300;
inline constexpr int StatusNoteWidthAlone = 2 * StatusPanelWidth;

} // namespace torvane::frmTorvaneDesign
