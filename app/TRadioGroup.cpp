#include "TRadioGroup.h"

#include <QKeyEvent>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

TRadioGroup::TRadioGroup(QWidget* Parent) : QGroupBox(Parent) {
    new QVBoxLayout(this);
}

void TRadioGroup::SetItems(const QStringList& Items) {
    for (QRadioButton* button : m_buttons) delete button;
    m_buttons.clear();
    m_items = Items;
    for (int i = 0; i < m_items.size(); ++i) {
        auto* button = new QRadioButton(m_items[i], this);
        button->setObjectName(objectName() + "Item" + QString::number(i));
        // The group keeps the index itself, so that "nothing selected" stays possible.
        button->setAutoExclusive(false);
        connect(button, &QRadioButton::clicked, this, [this, i] { SetItemIndex(i); });
        button->installEventFilter(this);
        layout()->addWidget(button);
        m_buttons.push_back(button);
    }
    m_index = std::min(m_index, static_cast<int>(m_items.size()) - 1);
    ShowIndex();
}

void TRadioGroup::SetItemIndex(int Index) {
    const int last = static_cast<int>(m_items.size()) - 1;
    const int wanted = Index < 0 ? -1 : std::min(Index, last);
    const bool changed = wanted != m_index;
    m_index = wanted;
    ShowIndex();
    if (changed) emit Clicked();
}

void TRadioGroup::ShowIndex() {
    const int stop = std::max(m_index, 0);
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        m_buttons[i]->setChecked(static_cast<int>(i) == m_index);
        // Only one button takes the Tab key's focus; the others are reached by the arrows.
        m_buttons[i]->setFocusPolicy(static_cast<int>(i) == stop ? Qt::StrongFocus
                                                                 : Qt::ClickFocus);
    }
}

void TRadioGroup::PlaceInTabOrder(QWidget* Before, QWidget* After) {
    QWidget* previous = Before;
    for (QRadioButton* button : m_buttons) {
        setTabOrder(previous, button);
        previous = button;
    }
    setTabOrder(previous, After);
}

bool TRadioGroup::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() != QEvent::KeyPress) return QGroupBox::eventFilter(Watched, Event);
    const auto found = std::find(m_buttons.begin(), m_buttons.end(), Watched);
    if (found == m_buttons.end()) return QGroupBox::eventFilter(Watched, Event);
    int step = 0;
    switch (static_cast<QKeyEvent*>(Event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Left:
            step = -1;
            break;
        case Qt::Key_Down:
        case Qt::Key_Right:
            step = 1;
            break;
        default:
            return QGroupBox::eventFilter(Watched, Event);
    }
    const int from = static_cast<int>(found - m_buttons.begin());
    const int to = std::clamp(from + step, 0, static_cast<int>(m_buttons.size()) - 1);
    // As with exclusive radio buttons, the arrow selects; an owner may keep the old choice.
    SetItemIndex(to);
    m_buttons[static_cast<std::size_t>(std::max(m_index, 0))]->setFocus(Qt::TabFocusReason);
    return true;
}
