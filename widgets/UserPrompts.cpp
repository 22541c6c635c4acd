#include "widgets/UserPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace halvix {

namespace {

QMessageBox::Icon iconOf(MessageIcon icon) {
    return icon == MessageIcon::Question ? QMessageBox::Question : QMessageBox::NoIcon;
}

int runBox(QWidget* parent, const UserMessage& message, QMessageBox::StandardButtons buttons) {
    QMessageBox box(iconOf(message.icon), QString::fromStdString(message.caption),
                    QString::fromStdString(message.text), buttons, parent);
    return box.exec();
}

} // namespace

void DialogPrompts::show(const UserMessage& message) { runBox(m_parent, message, QMessageBox::Ok); }

bool DialogPrompts::confirm(const UserMessage& message) {
    return runBox(m_parent, message, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

QString DialogPrompts::openFileName(const QString& filter) {
    return QFileDialog::getOpenFileName(m_parent, QString(), QString(), filter);
}

QString DialogPrompts::saveFileName(const QString& filter, const QString& defaultSuffix,
                                    const QString& initialName) {
    QFileDialog dialog(m_parent, QString(), QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace halvix
