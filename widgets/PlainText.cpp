#include "widgets/PlainText.h"

#include <QTextDocument>

namespace halvix {

QString plainToolTip(const QString& text) {
    if (!Qt::mightBeRichText(text))
        return text;
    // Line ends as breaks: a paragraph would drop a last one.
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") +
           text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")) + QStringLiteral("</p>");
}

QString plainMenuText(const QString& text) {
    QString shown = text;
    return shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace halvix
