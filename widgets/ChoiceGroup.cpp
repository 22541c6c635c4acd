#include "widgets/ChoiceGroup.h"

#include <QAbstractButton>
#include <QButtonGroup>

namespace halvix {

ChoiceGroup::ChoiceGroup(QObject* parent) : QObject(parent), m_group(new QButtonGroup(this)) {
    // A click is pressed, (toggled,) released, clicked; a screen reader's toggle is toggled alone.
    connect(m_group, &QButtonGroup::idPressed, this, [this](int id) { m_pressedId = id; });
    connect(m_group, &QButtonGroup::idReleased, this, [this](int) { m_pressedId = kNone; });
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && !m_checking && id != m_pressedId)
            emit chosen(id);
    });
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) {
        m_pressedId = kNone;
        emit chosen(id);
    });
}

void ChoiceGroup::addButton(QAbstractButton* button, int id) {
    m_group->addButton(button, id);
}

void ChoiceGroup::check(int id) {
    m_checking = true;
    if (QAbstractButton* button = m_group->button(id)) {
        button->setChecked(true);
    } else {
        // An exclusive group keeps one button checked; none is allowed only while it is not.
        m_group->setExclusive(false);
        for (QAbstractButton* each : m_group->buttons())
            each->setChecked(false);
        m_group->setExclusive(true);
    }
    m_checking = false;
}

int ChoiceGroup::checkedId() const {
    return m_group->checkedId();
}

} // namespace halvix
