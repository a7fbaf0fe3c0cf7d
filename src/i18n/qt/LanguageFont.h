#pragma once
// The face, character set and size a language needs:
//
//   code   face        character set        size rule
//   cn     宋体        134 (GB2312)         8 pt becomes 9
//   b5     PMingLiU    136 (Chinese Big5)   8 pt becomes 9
//   jp     Tahoma      128 (Shift JIS)      8 pt becomes 9
//   other  Tahoma      1 (default)          9 pt becomes 8
//
// Qt fonts have no character set, so it is kept beside the font: returned by the QFont
// form and stored as the widget's "charset" property by the QWidget form. Where a face is
// missing on the machine (as 宋体, PMingLiU and Tahoma are on Linux), Qt's font
// substitution hands the text to an installed font that covers it (Noto Sans CJK SC/TC
// for the Chinese faces).

#include <string>

class QFont;
class QObject;
class QWidget;

namespace torvane {

constexpr int DEFAULT_CHARSET = 1;
constexpr int SHIFTJIS_CHARSET = 128;
constexpr int GB2312_CHARSET = 134;
constexpr int CHINESEBIG5_CHARSET = 136;

// Gives the font the language's face and size; returns the character set.
int SetLanguageFont(const std::string& code, QFont& font);
// The same for a widget's own font; the character set goes into its "charset" property.
void SetLanguageFont(const std::string& code, QWidget& widget);
// The character set last given to the object's font (DEFAULT_CHARSET when none was).
[[nodiscard]] int FontCharset(const QObject& holder);

} // namespace torvane
