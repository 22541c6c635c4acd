#include "bell/window/EndGuard.h"

#include "bell/window/BellQuestions.h"

#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>

namespace halvix {

EndGuard::EndGuard(QDialog& window, const Bell& bell, UserPrompts& prompts)
    : QObject(&window), m_window(window), m_bell(bell), m_prompts(prompts) {
    window.installEventFilter(this);
}

void EndGuard::endAsked(int result) {
    if (mayEnd())
        m_window.done(result);
}

bool EndGuard::mayEnd() {
    // A second request while the question is open (a key repeat, the tray) waits for its answer.
    if (m_asking)
        return false;
    m_asking = true;
    const bool confirmed = confirmEnd(m_bell, m_prompts);
    m_asking = false;
    return confirmed;
}

int EndGuard::endingKey(const QKeyEvent& key) {
    const bool plain = key.modifiers() == Qt::NoModifier ||
                       (key.modifiers() == Qt::KeypadModifier && key.key() == Qt::Key_Enter);
    if (!plain)
        return -1;
    // Enter ends the window like Esc does (QDialog alone would pass it to a default button).
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter)
        return QDialog::Accepted;
    return key.key() == Qt::Key_Escape ? QDialog::Rejected : -1;
}

bool EndGuard::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &m_window)
        return false;
    if (event->type() == QEvent::KeyPress) {
        const int result = endingKey(*static_cast<QKeyEvent*>(event));
        if (result < 0)
            return false;
        endAsked(result);
        return true;
    }
    // The close box: QDialog rejects the window once the event goes through.
    if (event->type() == QEvent::Close && !mayEnd()) {
        event->ignore();
        return true;
    }
    return false;
}

} // namespace halvix
