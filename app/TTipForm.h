#pragma once
// The start-up hint: how a good start page makes the harvest work, with an example. "Weiter"
// with the box ticked writes an empty "NoTip.ini" beside the program, which keeps the hint from
// showing at later starts; closing the dialog by its close box writes nothing.

#include <QDialog>

class QCheckBox;
class QLabel;

class TTipForm : public QDialog {
    Q_OBJECT
public:
    TTipForm(const QString& AppPath, QWidget* Parent = nullptr);

    QCheckBox* CheckBox1() const { return m_checkBox1; }
    QLabel* Label2() const { return m_label2; }
    static QString ExamplePage();

    void BitBtn1Click();
    void Label2Click();

private:
    QString m_appPath;
    QCheckBox* m_checkBox1;
    QLabel* m_label2;
};
