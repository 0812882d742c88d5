#include "platform/grid/stylesheet.h"

namespace qv::grid {
namespace {

QFont msSansSerif(bool bold) {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPointSize(8);
    f.setBold(bold);
    return f;
}

Style style(const char* background, const char* text = nullptr, std::optional<QFont> font = std::nullopt) {
    Style s;
    s.background = QColor(QLatin1String(background));
    if (text) s.text = QColor(QLatin1String(text));
    s.font = std::move(font);
    return s;
}

}  // namespace

StyleSheet devExpressStyleSheet() {
    StyleSheet s;
    s.caption = QStringLiteral("DevExpress");
    s[StyleElement::Background] = style("#FFFBF0");
    s[StyleElement::Content] = style("#D9EAF7", "#000000", msSansSerif(false));
    s[StyleElement::ContentEven] = style("#D9EAF7", "#000000");
    s[StyleElement::ContentOdd] = style("#EAF3FB", "#000000");
    s[StyleElement::FilterBox] = style("#FFFFE1", "#000000");
    s[StyleElement::IncSearch] = style("#FED547", "#000000");
    s[StyleElement::Footer] = style("#FFFFE1", "#000080", msSansSerif(true));
    s[StyleElement::Group] = style("#F1EFE2");
    s[StyleElement::GroupByBox] = style("#FED547", "#000000");
    s[StyleElement::Header] = style("#316AC5", "#FFFFFF", msSansSerif(true));
    s[StyleElement::Inactive] = style("#A4C4EB");
    s[StyleElement::Indicator] = style("#A4C4EB");
    s[StyleElement::Preview] = style("#FFFFE1", "#000080", msSansSerif(true));
    s[StyleElement::Selection] = style("#316AC5", "#FFFFFF");
    return s;
}

}  // namespace qv::grid
