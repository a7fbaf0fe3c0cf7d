#pragma once
// The site upgrade window's design in one place: its size, the places of the controls that
// stand at fixed places (by component name), the camera list's columns, and the two strips
// that Qt layouts arrange (adding a camera by address, and the run's options).
// SiteUpgradeWindow.cpp creates the controls and applies these; it states no coordinate of
// its own.
//
// One more control: a row in Places (a button along the bottom: ButtonRow.FromRight with
// the next index) or a field in one of the strips. The window tests check, in every shipped
// language, that each row's control stands at its place inside its parent, covers no other
// visible control and shows its whole text.

#include "i18n/qt/FormLayout.h"

#include <QSize>

namespace torvane::frmSiteUpgradeDesign {

inline constexpr QSize ClientSize{1000, 540};

// The frame of the camera list and the list inside it.
inline constexpr TPlace CameraFrame{"gbCameras", 6, 4, ClientSize.width() - 12, 330};
inline constexpr TPlace CameraList{"lvCameras", 8, 20, CameraFrame.Width - 16,
                                   CameraFrame.Height - 28};

// The list's columns, left to right: the camera (its check box and address), series, phase,
// progress, system firmware before and after, UI firmware before and after, and the outcome
// (which stretches to the list's edge).
enum TColumn {
    ColumnCamera = 0,
    ColumnSeries,
    ColumnPhase,
    ColumnProgress,
    ColumnSystem,
    ColumnUI,
    ColumnOutcome,
    ColumnCount
};
inline constexpr int ColumnWidths[ColumnCount] = {140, 50, 280, 110, 130, 130, 100};

// The frames of the two strips, under the list.
inline constexpr int StripFrameHeight = 58;
inline constexpr TPlace AddFrame{"gbAdd", 6, CameraFrame.Bottom() + 6, CameraFrame.Width,
                                 StripFrameHeight};
inline constexpr TPlace OptionsFrame{"gbOptions", 6, AddFrame.Bottom() + 6, CameraFrame.Width,
                                     StripFrameHeight};

// The buttons along the bottom, counted from the window's right edge.
inline constexpr TButtonRow ButtonRow{ClientSize, {110, 30}, 6, 8, 12};

inline constexpr TPlace Places[] = {
    CameraFrame,
    CameraList,
    AddFrame,
    OptionsFrame,
    // What the site stands at, over the buttons.
    {"lblSummary", 12, OptionsFrame.Bottom() + 6, ClientSize.width() - 24, 22},
    // Checks or clears every camera of the list, at the left of the buttons.
    {"chkAll", 12, ButtonRow.FromRight("btnClose", 0).Top + 4, 220, 22},
    ButtonRow.FromRight("btnClose", 0),
    ButtonRow.FromRight("btnStop", 1),
    ButtonRow.FromRight("btnStart", 2),
    ButtonRow.FromRight("btnSaveReport", 3),
    ButtonRow.FromRight("btnShowLog", 4),
};

// A strip of labelled fields inside a frame: each label, then its field. A field's width is
// its least width, or its fixed width when Stretch is 0. Between a label and its field
// stand Spacing pixels, between a field and the next label FieldGap more.
struct TStripField {
    std::string_view Label; // empty: a field without a label (a button)
    std::string_view Field;
    int Width = 0;
    int Stretch = 0;
};
struct TStripSpacing {
    int Margin = 0; // left and right
    int Top = 0;    // under the frame's caption
    int Spacing = 0;
    int FieldGap = 0;
    int FieldHeight = 0;
};
inline constexpr TStripSpacing StripSpacing{10, 4, 6, 10, 24};

// Adding a camera by address: series, address, port, account and password (both may be
// left empty for the run's own), and the Add button.
inline constexpr TStripField AddStrip[] = {
    {"lblAddSeries", "cmbAddSeries", 90, 0}, {"lblAddIP", "edAddIP", 120, 3},
    {"lblAddPort", "edAddPort", 56, 0},      {"lblAddUser", "edAddUser", 80, 2},
    {"lblAddPwd", "edAddPwd", 80, 2},        {"", "btnAdd", 90, 0},
};

// The run's options: the account and password of every camera without its own, how many
// cameras at once, which firmware, and what to do with a camera that already runs the
// offered version. The lists take the width of their longest item.
inline constexpr TStripField OptionsStrip[] = {
    {"lblUser", "edUser", 90, 1},        {"lblPwd", "edPwd", 90, 1},
    {"lblParallel", "spnParallel", 60, 0}, {"lblFirmware", "cmbFirmware", 0, 0},
    {"lblSameVersion", "cmbSameVersion", 0, 0},
};

// The log window of one camera.
inline constexpr QSize LogWindowSize{720, 420};

} // namespace torvane::frmSiteUpgradeDesign
