#pragma once
// The settings window's design in one place: its size and the places of its controls by
// component name. Settings.cpp creates the controls and applies these; it states no
// coordinate of its own.
//
// Two columns: the labels, right-aligned, and the fields, each field's note under it; the
// buttons along the bottom, counted from the window's right edge. One more setting: two
// rows (label and field) at the next Row, and a larger ClientSize.

#include "i18n/qt/FormLayout.h"

#include <QSize>

namespace torvane::frmSettingsDesign {

inline constexpr QSize ClientSize{500, 300};

// One setting's row: the label, the field (and a button after it), the note under it.
struct TSettingRow {
    int Top = 0;

    static constexpr int LabelLeft = 10;
    static constexpr int LabelWidth = 150;
    static constexpr int FieldLeft = LabelLeft + LabelWidth + 6;
    static constexpr int FieldHeight = 24;
    static constexpr int RightMargin = 10;
    static constexpr int FieldWidth = ClientSize.width() - FieldLeft - RightMargin;

    [[nodiscard]] constexpr TPlace Label(std::string_view component) const {
        return {component, LabelLeft, Top + 1, LabelWidth, FieldHeight - 2};
    }
    // The field alone, across the whole column.
    [[nodiscard]] constexpr TPlace Field(std::string_view component) const {
        return {component, FieldLeft, Top, FieldWidth, FieldHeight};
    }
    // The field with a button after it.
    [[nodiscard]] constexpr TPlace FieldBeforeButton(std::string_view component,
                                                     int buttonWidth) const {
        return {component, FieldLeft, Top, FieldWidth - buttonWidth - 6, FieldHeight};
    }
    [[nodiscard]] constexpr TPlace Button(std::string_view component, int buttonWidth) const {
        return {component, ClientSize.width() - RightMargin - buttonWidth, Top - 1, buttonWidth,
                FieldHeight + 2};
    }
    // The note under the field, lines lines high (a line of the Chinese fonts takes 17
    // pixels).
    static constexpr int NoteLineHeight = 17;
    [[nodiscard]] constexpr TPlace Note(std::string_view component, int lines) const {
        return {component, FieldLeft, Top + FieldHeight + 4, FieldWidth, lines * NoteLineHeight};
    }
};

inline constexpr int BrowseWidth = 90;
inline constexpr TSettingRow ServerRow{14};
inline constexpr TSettingRow BroadcastRow{116};
inline constexpr TSettingRow InterfaceRow{150};

// OK and Cancel, counted from the right edge.
inline constexpr QSize ButtonSize{80, 28};
inline constexpr int ButtonGap = 6;
inline constexpr int ButtonMargin = 10;
[[nodiscard]] constexpr TPlace BottomButton(std::string_view component, int fromRight) {
    return {component,
            ClientSize.width() - ButtonMargin - (fromRight + 1) * ButtonSize.width() -
                fromRight * ButtonGap,
            ClientSize.height() - ButtonMargin - ButtonSize.height(), ButtonSize.width(),
            ButtonSize.height()};
}

inline constexpr TPlace Places[] = {
    ServerRow.Label("lblServer"),
    ServerRow.FieldBeforeButton("edServer", BrowseWidth),
    ServerRow.Button("btnBrowse", BrowseWidth),
    ServerRow.Note("lblServerNote", 4),
    BroadcastRow.Label("lblBroadcast"),
    BroadcastRow.Field("cmbBroadcast"),
    InterfaceRow.Label("lblInterface"),
    InterfaceRow.Field("cmbInterface"),
    InterfaceRow.Note("lblSearchNote", 4),
    BottomButton("btnOK", 1),
    BottomButton("btnCancel", 0),
};

} // namespace torvane::frmSettingsDesign
