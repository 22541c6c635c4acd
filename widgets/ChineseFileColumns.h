#pragma once

#include <QIdentityProxyModel>

class QFileDialog;

namespace halvix {

// The file list of Qt's own file dialog as the program's locale writes it: sizes and dates in
// the default locale (Qt's list writes them in the system's, English under LANG=C) and a folder's
// type as 文件夹 (Qt's Chinese catalogue of Debian 12 lacks that word).
class ChineseFileColumns final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override;
};

// Makes `dialog` Qt's own, whose every text is the program's locale (a desktop's dialog speaks
// the system's language), with the columns above.
void useChineseFileColumns(QFileDialog& dialog);

} // namespace halvix
