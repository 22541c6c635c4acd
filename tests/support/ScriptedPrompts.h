#pragma once

#include "widgets/UserPrompts.h"

#include <QString>
#include <deque>
#include <string>
#include <vector>

namespace halvix::test {

// Answers for the user: records every notice and question, answers questions and file dialogs
// from queues. An unscripted question is answered Cancel, an unscripted file dialog is cancelled,
// and both are counted in `unscripted` so a test can tell.
class ScriptedPrompts final : public UserPrompts {
public:
    struct FileDialog {
        QString filter;
        QString defaultSuffix;
        QString initialName;
    };

    void show(const UserMessage& message) override { messages.push_back(message); }

    bool confirm(const UserMessage& message) override { return answer(message, false); }
    bool confirmWithCancelDefault(const UserMessage& message) override { return answer(message, true); }

    SaveAnswer askToSave(const UserMessage& message) override {
        questions.push_back(message);
        cancelDefault.push_back(false);
        if (askToSaveAnswers.empty()) {
            ++unscripted;
            return SaveAnswer::Cancel;
        }
        const SaveAnswer given = askToSaveAnswers.front();
        askToSaveAnswers.pop_front();
        return given;
    }

    QString openFileName(const QString& filter) override {
        openDialogs.push_back({filter, {}, {}});
        return next(openAnswers);
    }

    QString saveFileName(const QString& filter, const QString& defaultSuffix,
                         const QString& initialName) override {
        saveDialogs.push_back({filter, defaultSuffix, initialName});
        return next(saveAnswers);
    }

    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& m : messages)
            out.push_back(m.text);
        return out;
    }
    std::vector<std::string> questionTexts() const {
        std::vector<std::string> out;
        for (const auto& m : questions)
            out.push_back(m.text);
        return out;
    }
    void clear() {
        messages.clear();
        questions.clear();
        cancelDefault.clear();
        openDialogs.clear();
        saveDialogs.clear();
        unscripted = 0;
    }

    // Scripted answers, used front first.
    std::deque<bool> confirmAnswers;
    std::deque<SaveAnswer> askToSaveAnswers;
    std::deque<QString> openAnswers;
    std::deque<QString> saveAnswers;

    // What the program asked, in order, and for each question whether 取消 was its default.
    std::vector<UserMessage> messages;
    std::vector<UserMessage> questions;
    std::vector<bool> cancelDefault;
    std::vector<FileDialog> openDialogs;
    std::vector<FileDialog> saveDialogs;
    int unscripted = 0;

private:
    bool answer(const UserMessage& message, bool cancelIsDefault) {
        questions.push_back(message);
        cancelDefault.push_back(cancelIsDefault);
        if (confirmAnswers.empty()) {
            ++unscripted;
            return false;
        }
        const bool given = confirmAnswers.front();
        confirmAnswers.pop_front();
        return given;
    }

    QString next(std::deque<QString>& answers) {
        if (answers.empty()) {
            ++unscripted;
            return {};
        }
        QString given = answers.front();
        answers.pop_front();
        return given;
    }
};

} // namespace halvix::test
