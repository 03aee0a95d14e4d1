#pragma once
// Shown when the program ends (unless "NoWer.ini" exists in the settings folder): links to the
// maker's other products, opened in the browser. "Schließen" with "nicht mehr anzeigen" ticked
// writes an empty "NoWer.ini", so the window no longer shows at later ends of the program.

#include <QDialog>

#include "TPrompter.h"

class QCheckBox;

class TPromoForm : public QDialog {
    Q_OBJECT
public:
    // SettingsPath: the folder of the settings files (the program's own folder when it runs
    // from its build folder), ending in "/". Messages go through Prompter when one is given,
    // else through message boxes.
    explicit TPromoForm(const QString& SettingsPath, QWidget* Parent = nullptr,
                        TPrompter* Prompter = nullptr);

    QCheckBox* CheckBox1() const { return m_checkBox1; }
    // "Schließen": writes the marker when the box is ticked, then closes.
    void CloseBitBtnClick();

private:
    QString m_settingsPath;
    TDialogPrompter m_ownPrompter;
    TPrompter& m_prompter;
    QCheckBox* m_checkBox1;
};
