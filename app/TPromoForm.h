#pragma once
// Shown when the program ends (unless "NoWer.ini" exists beside it): links to the maker's
// other products, opened in the browser.

#include <QDialog>

class TPromoForm : public QDialog {
    Q_OBJECT
public:
    explicit TPromoForm(QWidget* Parent = nullptr);
};
