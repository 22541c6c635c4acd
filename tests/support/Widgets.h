#pragma once

#include <QAbstractItemModel>
#include <QObject>
#include <QString>

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

} // namespace halvix::test
