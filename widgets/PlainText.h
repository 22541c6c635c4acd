#pragma once

#include <QString>

namespace halvix {

// Texts the program did not write itself (a building's name, a sound's, a problem, anything from
// the broker or a file) shown where Qt would read markup. Labels take Qt::PlainText instead.

// `text` as a tooltip shows it, literally: tooltips render rich text when it looks like HTML, so
// such a text is escaped into a paragraph that keeps its spaces and line ends. Any other text
// stays as it is.
QString plainToolTip(const QString& text);

// `text` as a menu item shows it: each '&' doubled, so that it marks no shortcut.
QString plainMenuText(const QString& text);

} // namespace halvix
