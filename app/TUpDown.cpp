#include "TUpDown.h"

#include <QToolButton>
#include <QVBoxLayout>

TUpDown::TUpDown(QWidget* Parent)
    : QWidget(Parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFixedSize(18, 12);
        button->setFocusPolicy(Qt::NoFocus);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { Step(-1); });
}

void TUpDown::SetMin(int Value) {
    m_min = Value;
    SetPosition(m_position);
}

void TUpDown::SetMax(int Value) {
    m_max = Value;
    SetPosition(m_position);
}

void TUpDown::SetPosition(int Value) {
    m_position = std::clamp(Value, m_min, std::max(m_min, m_max));
    if (m_associate) m_associate->setText(QString::number(m_position));
}

void TUpDown::SetAssociate(QLineEdit* Edit) {
    m_associate = Edit;
    // The number changes only through the arrows.
    m_associate->setReadOnly(true);
    SetPosition(m_position);
}

void TUpDown::Step(int Delta) {
    const int before = m_position;
    SetPosition(m_position + Delta);
    if (m_position != before) emit Clicked();
}
