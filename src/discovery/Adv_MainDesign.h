#pragma once
// The camera selection window's design in one place: its size, the places of its
// controls by component name, the list's columns and font. Adv_Main.cpp creates the
// controls and applies these; it states no coordinate of its own.
//
// One more control: a row in Places under its component name (a button along the bottom:
// ButtonRow.FromRight with the next index). The tests check, in every shipped language,
// that each row's control exists, stands inside the window, covers no other visible
// control and shows its whole text.

#include "i18n/qt/FormLayout.h"

#include <QSize>

namespace torvane::frmAdv_MainDesign {

inline constexpr QSize ClientSize{381, 359};

// The list inside its group box, above the count and the buttons; its font is 16 pixels
// high (12 points at 96 dpi). Column widths: Type, Name, IP address, Port (the last
// stretches to the list's edge).
inline constexpr TPlace List{"ListView", 10, 22, ClientSize.width() - 20, 284};
inline constexpr int ListFontPoints = 12;
inline constexpr int ColumnWidths[] = {50, 100, 120, 80};

// The panel that says the list is empty, over the middle of the list.
inline constexpr QSize InfoSize{229, 95};

// The buttons along the bottom, counted from the window's right edge.
inline constexpr TButtonRow ButtonRow{ClientSize, {70, 30}, 4, 8, 12};

inline constexpr TPlace Places[] = {
    {"GroupBox1", 4, 0, ClientSize.width() - 8, List.Bottom() + 6},
    List,
    {"plInfo", List.Left + (List.Width - InfoSize.width()) / 2,
     List.Top + (List.Height - InfoSize.height()) / 2, InfoSize.width(), InfoSize.height()},
    {"lblDevNum", 8, ClientSize.height() - 38, 150, 24},
    ButtonRow.FromRight("btnFind", 2),
    ButtonRow.FromRight("btnOK", 1),
    ButtonRow.FromRight("btnCancel", 0),
};

} // namespace torvane::frmAdv_MainDesign
