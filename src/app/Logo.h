#pragma once
// The banner logo, drawn rather than shipped as an image file, and the window icon: the
// installed icon of the theme, or a drawn one.

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace torvane {

[[nodiscard]] QPixmap MakeLogo(QSize size);
[[nodiscard]] QIcon MakeWindowIcon();

} // namespace torvane
