// Colours and fonts of the parts of a grid view, set as a whole by the grid's owner.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <array>
#include <optional>

namespace qv::grid {

// One style: what is not set falls back to the next style down (see StyleSheet) and finally to the
// widget's palette and font.
struct Style {
    QColor background;           // invalid = not set
    QColor text;                 // invalid = not set
    std::optional<QFont> font;
};

// Footer, Preview and IncSearch belong to parts the view does not show (no footer, preview rows or
// incremental search); a sheet carries them all the same.
enum class StyleElement {
    Background,   // the area below the last row
    Content,
    ContentEven,
    ContentOdd,
    FilterBox,
    IncSearch,
    Footer,
    Group,
    GroupByBox,
    Header,
    Inactive,     // the focused row while the grid has no keyboard focus
    Indicator,
    Preview,
    Selection,
};
inline constexpr int kStyleElementCount = int(StyleElement::Selection) + 1;

struct StyleSheet {
    QString caption;
    std::array<Style, kStyleElementCount> styles{};

    Style& operator[](StyleElement e) { return styles[size_t(e)]; }
    const Style& operator[](StyleElement e) const { return styles[size_t(e)]; }
};

// The style sheet the import window's grid uses: cream background, light blue rows, blue bold headers.
StyleSheet devExpressStyleSheet();

}  // namespace qv::grid
