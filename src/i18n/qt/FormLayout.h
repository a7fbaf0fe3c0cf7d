#pragma once
// A window's design stated once. The controls that stand at fixed places are rows of a
// table: the component name (the name the packs' keys use, "btnFindCam") and the
// rectangle in its parent. The window's code creates its controls under those names and
// hands the table to PlaceComponents, so no coordinate is written beside the code that
// creates a control. Each window keeps its table and its other measures (band heights,
// the margins and spacings of the parts that Qt layouts arrange) in a design header of its
// own: src/app/Torvane_608Design.h, src/discovery/Adv_MainDesign.h.

#include <QRect>
#include <QSize>
#include <QString>

#include <span>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace torvane {

struct TPlace {
    std::string_view Component;
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;

    [[nodiscard]] constexpr int Right() const { return Left + Width; }
    [[nodiscard]] constexpr int Bottom() const { return Top + Height; }
    [[nodiscard]] QRect Rect() const { return {Left, Top, Width, Height}; }
};

// A row of equal buttons along a window's bottom, counted from its right edge: button
// index 0 is the rightmost.
struct TButtonRow {
    QSize Client; // the window's client area
    QSize Button;
    int Gap = 0;
    int RightMargin = 0;
    int BottomMargin = 0;

    [[nodiscard]] constexpr TPlace FromRight(std::string_view component, int index) const {
        const int width = Button.width();
        return {component, Client.width() - RightMargin - (index + 1) * width - index * Gap,
                Client.height() - BottomMargin - Button.height(), width, Button.height()};
    }
};

// Gives every control of the table that the form owns (by object name, anywhere below the
// form) its place. Returns the components of rows that name no widget of the form: a
// design error, which the window tests keep from happening.
std::vector<std::string> PlaceComponents(QWidget* form, std::span<const TPlace> places);

// A window's name (the packs' section is "Form_" and this name), its untranslated title and
// the fixed size of its client area.
void NameForm(QWidget* form, std::string_view name, const QString& title, QSize client);

// The row of a component, or nullptr.
[[nodiscard]] const TPlace* FindPlace(std::span<const TPlace> places,
                                      std::string_view component);

} // namespace torvane
