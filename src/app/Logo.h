#pragma once
// The banner logo and the window icon, drawn rather than shipped as image files.

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace torvane {

[[nodiscard]] QPixmap MakeLogo(QSize size);
[[nodiscard]] QIcon MakeWindowIcon();

} // namespace torvane
