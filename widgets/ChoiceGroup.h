#pragma once

#include <QObject>

class QAbstractButton;
class QButtonGroup;

namespace halvix {

// Radio buttons of which at most one is checked. A choice is made by every click, also on the
// button already checked, and by a screen reader's toggle action, which checks a button without
// clicking it: `chosen` comes once for either.
class ChoiceGroup final : public QObject {
    Q_OBJECT
public:
    explicit ChoiceGroup(QObject* parent = nullptr);

    void addButton(QAbstractButton* button, int id);
    // Checks the button of `id`, or none when no button has that id; no `chosen` follows.
    void check(int id);
    int checkedId() const;

signals:
    void chosen(int id);

private:
    QButtonGroup* m_group;
    int m_pressedId = kNone; // a click on its way: its toggle is not a choice of its own
    bool m_checking = false;

    static constexpr int kNone = -1;
};

} // namespace halvix
