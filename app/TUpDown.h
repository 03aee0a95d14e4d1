#pragma once
// A pair of arrow buttons that step a number between Min and Max and show it in an associated
// line edit. The edit also takes typed digits, the arrow keys (one step) and Page Up/Down (ten),
// all clamped to Min..Max. A change by the user raises Clicked; setting the position from code
// is silent, as the window's settings loader expects.

#include <QLineEdit>
#include <QWidget>

class QToolButton;

class TUpDown : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int min READ Min WRITE SetMin)
    Q_PROPERTY(int max READ Max WRITE SetMax)
    Q_PROPERTY(int position READ Position WRITE SetPosition)
public:
    explicit TUpDown(QWidget* Parent = nullptr);

    int Min() const { return m_min; }
    int Max() const { return m_max; }
    int Position() const { return m_position; }
    void SetMin(int Value);
    void SetMax(int Value);
    // Clamped to Min..Max; updates the associated edit; raises nothing.
    void SetPosition(int Value);
    // The edit that shows the position and takes the keyboard's changes.
    void SetAssociate(QLineEdit* Edit);

    // The names under which the window's layout file sets the properties.
    void setMin(int Value) { SetMin(Value); }
    void setMax(int Value) { SetMax(Value); }
    void setPosition(int Value) { SetPosition(Value); }

    QToolButton* UpButton() const { return m_up; }
    QToolButton* DownButton() const { return m_down; }

signals:
    void Clicked();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void Step(int Delta);
    void Typed(const QString& Text);

    QToolButton* m_up;
    QToolButton* m_down;
    QLineEdit* m_associate = nullptr;
    int m_min = 1;
    int m_max = 100;
    int m_position = 1;
};
