#pragma once
// The start-up hint: how a good start page makes the harvest work, with an example. "Weiter"
// with the box ticked writes an empty "NoTip.ini" beside the program, which keeps the hint from
// showing at later starts; closing the dialog by its close box writes nothing.

#include <QDialog>

#include "TPrompter.h"

class QCheckBox;
class QLabel;

class TTipForm : public QDialog {
    Q_OBJECT
public:
    // AppPath: the program's folder, ending in "/". Messages go through Prompter when one is
    // given, else through message boxes.
    TTipForm(const QString& AppPath, QWidget* Parent = nullptr, TPrompter* Prompter = nullptr);

    QCheckBox* CheckBox1() const { return m_checkBox1; }
    QLabel* Label2() const { return m_label2; }
    static QString ExamplePage();
    static QString BrowserFailure();

    // "Weiter": writes the suppression file when the box is ticked, then closes with OK.
    void BitBtn1Click();
    // Opens the example page in the browser.
    void Label2Click();

private:
    QString m_appPath;
    TDialogPrompter m_ownPrompter;
    TPrompter& m_prompter;
    QCheckBox* m_checkBox1;
    QLabel* m_label2;
};
