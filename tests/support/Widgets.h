#pragma once

#include <QAbstractItemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QObject>
#include <QScrollBar>
#include <QString>
#include <QTableView>
#include <QTextDocument>

#include <string>
#include <vector>

namespace halvix::test {

// The child `name` of `parent`. Without it no check could follow, so the run ends there.
template <typename T> T* child(const QObject& parent, const QString& name) {
    T* found = parent.findChild<T*>(name);
    if (!found)
        qFatal("no child %s", qPrintable(name));
    return found;
}

// What a list shows, cell by cell.
inline std::vector<std::vector<std::string>> shownRows(const QAbstractItemModel& model) {
    std::vector<std::vector<std::string>> rows;
    for (int r = 0; r < model.rowCount(); ++r) {
        rows.emplace_back();
        for (int c = 0; c < model.columnCount(); ++c)
            rows.back().push_back(model.index(r, c).data().toString().toStdString());
    }
    return rows;
}

// Why the list's columns do not fit its width, empty when they do: every column whose texts fit
// shows them whole, the last column ends at the list's right edge and no column is off-screen.
// `whole` names the columns (other than the last) that must show every text uncut.
inline QString columnsDoNotFit(const QTableView& view, const std::vector<int>& whole) {
    const QAbstractItemModel& model = *view.model();
    const int right = view.viewport()->width();
    const int columns = model.columnCount();
    const int lastEnd = view.columnViewportPosition(columns - 1) + view.columnWidth(columns - 1);
    if (lastEnd > right || lastEnd < right - 20)
        return QStringLiteral("the last column ends at %1 in a list %2 wide").arg(lastEnd).arg(right);
    if (view.horizontalScrollBar()->maximum() > 0)
        return QStringLiteral("the list scrolls sideways");
    const QFontMetrics metrics(view.font());
    for (const int c : whole)
        for (int r = 0; r < model.rowCount(); ++r) {
            const QString text = model.index(r, c).data().toString();
            if (metrics.horizontalAdvance(text) > view.columnWidth(c))
                return QStringLiteral("column %1 cuts \"%2\" to %3 pixels")
                    .arg(c)
                    .arg(text)
                    .arg(view.columnWidth(c));
        }
    return {};
}

// What the user reads of `html` rendered as rich text.
inline QString renderedHtml(const QString& html) {
    QTextDocument document;
    document.setHtml(html);
    return document.toPlainText();
}

// What a label shows of its text, read as Qt reads it for the label's format.
inline QString shownText(const QLabel& label) {
    switch (label.textFormat()) {
    case Qt::PlainText:
        return label.text();
    case Qt::AutoText:
        return Qt::mightBeRichText(label.text()) ? renderedHtml(label.text()) : label.text();
    case Qt::MarkdownText: {
        QTextDocument document;
        document.setMarkdown(label.text());
        return document.toPlainText();
    }
    case Qt::RichText:
        break;
    }
    return renderedHtml(label.text());
}

// What a tooltip shows of `tip`: tooltips render rich text when it looks like HTML.
inline QString shownToolTip(const QString& tip) {
    return Qt::mightBeRichText(tip) ? renderedHtml(tip) : tip;
}

// What a menu shows of an item's text: "&&" is one '&', a single '&' marks the next letter as the
// shortcut and shows nothing itself.
inline QString shownMenuText(const QString& text) {
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && ++i == text.size())
            break;
        shown += text[i];
    }
    return shown;
}

} // namespace halvix::test
