#include "TRadioGroup.h"

#include <QRadioButton>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(QWidget* Parent) : QGroupBox(Parent) {
    new QVBoxLayout(this);
}

void TRadioGroup::SetItems(const QStringList& Items) {
    for (QRadioButton* button : m_buttons) delete button;
    m_buttons.clear();
    m_items = Items;
    for (int i = 0; i < m_items.size(); ++i) {
        auto* button = new QRadioButton(m_items[i], this);
        // The group keeps the index itself, so that "nothing selected" stays possible.
        button->setAutoExclusive(false);
        connect(button, &QRadioButton::clicked, this, [this, i] { SetItemIndex(i); });
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
    for (std::size_t i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setChecked(static_cast<int>(i) == m_index);
}
