#include "widgets/UserPrompts.h"

#include "widgets/ChineseFileColumns.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace halvix {

namespace {

QMessageBox::Icon iconOf(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

int runBox(QWidget* parent, const UserMessage& message, QMessageBox::StandardButtons buttons,
           QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) {
    QMessageBox box(iconOf(message.icon), QString::fromStdString(message.caption),
                    QString::fromStdString(message.text), buttons, parent);
    // Messages quote names and file contents: markup in them is text.
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

void DialogPrompts::show(const UserMessage& message) {
    runBox(m_parent, message, QMessageBox::Ok);
}

bool DialogPrompts::confirm(const UserMessage& message) {
    return runBox(m_parent, message, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

bool DialogPrompts::confirmWithCancelDefault(const UserMessage& message) {
    return runBox(m_parent, message, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

bool mayCloseUnsaved(UserPrompts& prompts, const UserMessage& question, const std::function<bool()>& save) {
    switch (prompts.askToSave(question)) {
    case UserPrompts::SaveAnswer::Save:
        return save(); // when it fails, the reason was shown and the window stays with the changes
    case UserPrompts::SaveAnswer::Discard:
        return true;
    case UserPrompts::SaveAnswer::Cancel:
        break;
    }
    return false;
}

UserPrompts::SaveAnswer DialogPrompts::askToSave(const UserMessage& message) {
    QMessageBox box(QMessageBox::Question, QString::fromStdString(message.caption),
                    QString::fromStdString(message.text), QMessageBox::NoButton, m_parent);
    box.setTextFormat(Qt::PlainText);
    // The answers in the program's words, whatever Qt's translations say.
    QPushButton* save = box.addButton(QStringLiteral("保存"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("放弃"), QMessageBox::DestructiveRole);
    box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.exec();
    if (box.clickedButton() == save)
        return SaveAnswer::Save;
    return box.clickedButton() == discard ? SaveAnswer::Discard : SaveAnswer::Cancel;
}

namespace {

QString chosenFile(QFileDialog& dialog) {
    useChineseFileColumns(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString DialogPrompts::openFileName(const QString& filter) {
    QFileDialog dialog(m_parent, QStringLiteral("打开"), QString(), filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return chosenFile(dialog);
}

QString DialogPrompts::saveFileName(const QString& filter, const QString& defaultSuffix,
                                    const QString& initialName) {
    QFileDialog dialog(m_parent, QStringLiteral("另存为"), QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.selectFile(initialName);
    return chosenFile(dialog);
}

} // namespace halvix
