#include "TUpDown.h"

#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

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
    // Digits only; the value is clamped as it is typed, and the edit shows the clamped value
    // once it loses the focus or Enter is pressed.
    m_associate->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]{0,4}"), m_associate));
    m_associate->installEventFilter(this);
    connect(m_associate, &QLineEdit::textEdited, this, &TUpDown::Typed);
    connect(m_associate, &QLineEdit::editingFinished, this, [this] { SetPosition(m_position); });
    SetPosition(m_position);
}

void TUpDown::Typed(const QString& Text) {
    if (Text.isEmpty()) return;  // being retyped: the old value holds meanwhile
    const int before = m_position;
    m_position = std::clamp(Text.toInt(), m_min, std::max(m_min, m_max));
    // A number above the range is cut back at once, so that more digits make no sense.
    if (Text.toInt() > m_max) m_associate->setText(QString::number(m_position));
    if (m_position != before) emit Clicked();
}

bool TUpDown::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == m_associate && Event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(Event)->key()) {
            case Qt::Key_Up:
                Step(1);
                return true;
            case Qt::Key_Down:
                Step(-1);
                return true;
            case Qt::Key_PageUp:
                Step(10);
                return true;
            case Qt::Key_PageDown:
                Step(-10);
                return true;
            default:
                break;
        }
    }
    return QWidget::eventFilter(Watched, Event);
}

void TUpDown::Step(int Delta) {
    const int before = m_position;
    SetPosition(m_position + Delta);
    if (m_position != before) emit Clicked();
}
