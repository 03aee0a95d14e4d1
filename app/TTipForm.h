#pragma once
// The start-up hint: how a good start page makes the harvest work, with an example. "Weiter"
// with the box ticked writes an empty "NoTip.ini" into the settings folder, which keeps the hint
// from showing at later starts; closing the dialog by its close box writes nothing.

#include <QDialog>

#include "TPrompter.h"

class QCheckBox;
class QLabel;

class TTipForm : public QDialog {
    Q_OBJECT
public:
    // AppPath: the folder of the shipped files, ending in "/". Messages go through Prompter when
    // one is given, else through message boxes. SettingsPath: where "NoTip.ini" goes, ending in
    // "/"; AppPath when empty.
    TTipForm(const QString& AppPath, QWidget* Parent = nullptr, TPrompter* Prompter = nullptr,
             const QString& SettingsPath = QString());

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
    QString m_settingsPath;
    TDialogPrompter m_ownPrompter;
    TPrompter& m_prompter;
    QCheckBox* m_checkBox1;
    QLabel* m_label2;
};
