#pragma once

#include "common/MessageSink.h"

#include <QString>

#include <functional>

class QWidget;

namespace halvix {

// Every question and notice the windows put to the user, and the file dialogs. Windows talk to
// this interface only, so tests can answer for the user.
class UserPrompts : public MessageSink {
public:
    // OK and Cancel; true for OK.
    virtual bool confirm(const UserMessage& message) = 0;
    // OK and Cancel with Cancel the default, for a step hard to undo: Enter answers it as Esc does.
    virtual bool confirmWithCancelDefault(const UserMessage& message) = 0;
    // 保存, 放弃 and 取消 before unsaved changes would be lost.
    enum class SaveAnswer { Save, Discard, Cancel };
    virtual SaveAnswer askToSave(const UserMessage& message) = 0;
    // The chosen path, or empty when cancelled. `filter` in Qt's "Name (*.ext);;..." form.
    virtual QString openFileName(const QString& filter) = 0;
    virtual QString saveFileName(const QString& filter, const QString& defaultSuffix,
                                 const QString& initialName) = 0;
};

// Before a window with changes not saved closes: asks 保存, 放弃 or 取消 with `question`, and 保存
// runs `save` (false when nothing was stored, the reason shown). True when the window may close.
bool mayCloseUnsaved(UserPrompts& prompts, const UserMessage& question, const std::function<bool()>& save);

// The real thing: message boxes and file dialogs over `parent`.
class DialogPrompts final : public UserPrompts {
public:
    explicit DialogPrompts(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void show(const UserMessage& message) override;
    bool confirm(const UserMessage& message) override;
    bool confirmWithCancelDefault(const UserMessage& message) override;
    SaveAnswer askToSave(const UserMessage& message) override;
    QString openFileName(const QString& filter) override;
    QString saveFileName(const QString& filter, const QString& defaultSuffix,
                         const QString& initialName) override;

private:
    QWidget* m_parent;
};

} // namespace halvix
