#pragma once
// A framed group of radio buttons with an item index: -1 selects nothing, an index above the
// last item selects the last one. Clicked is raised whenever the index changes, by the user or
// by code; setting the index it already has raises nothing. For the keyboard the group is one
// Tab stop (its selected button, or the first when none is), and the arrow keys select.

#include <QGroupBox>
#include <QStringList>

#include <vector>

class QRadioButton;

class TRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ Items WRITE SetItems)
public:
    explicit TRadioGroup(QWidget* Parent = nullptr);

    QStringList Items() const { return m_items; }
    void SetItems(const QStringList& Items);
    void setItems(const QStringList& Items) { SetItems(Items); }  // for the layout file
    int ItemIndex() const { return m_index; }
    void SetItemIndex(int Index);
    QRadioButton* Button(int Index) const { return m_buttons.at(static_cast<std::size_t>(Index)); }
    // Puts the group's buttons between Before and After in the window's Tab order.
    void PlaceInTabOrder(QWidget* Before, QWidget* After);

signals:
    void Clicked();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void ShowIndex();

    QStringList m_items;
    std::vector<QRadioButton*> m_buttons;
    int m_index = -1;
};
