#include "widgets/ChineseFileColumns.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QLocale>

namespace halvix {

namespace {

// The columns of Qt's file list.
enum FileColumn { NameColumn, SizeColumn, TypeColumn, DateColumn };

} // namespace

QVariant ChineseFileColumns::data(const QModelIndex& index, int role) const {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || !files || !index.isValid())
        return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    const QLocale locale;
    switch (index.column()) {
    case SizeColumn:
        if (!files->isDir(source))
            return locale.formattedDataSize(files->size(source));
        break;
    case TypeColumn:
        if (files->isDir(source))
            return QStringLiteral("文件夹");
        break;
    case DateColumn:
        return locale.toString(files->lastModified(source), QLocale::ShortFormat);
    default:
        break;
    }
    return QIdentityProxyModel::data(index, role);
}

void useChineseFileColumns(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new ChineseFileColumns(&dialog));
}

} // namespace halvix
