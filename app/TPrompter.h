#pragma once
// Every modal question and message of the window goes through this interface, so that tests
// can answer without a person. TDialogPrompter is the real one: message boxes, file dialogs and
// modal dialogs of Qt.

#include <QString>

class QDialog;
class QWidget;

// The answer to a question with the buttons Ja, Nein and Abbrechen.
enum class TAnswer { Yes, No, Cancel };

class TPrompter {
public:
    virtual ~TPrompter() = default;
    // An information box with an OK button (the German notices).
    virtual void Information(QWidget* Parent, const QString& Text) = 0;
    // A plain message box (failures to start the browser or editor, engine messages).
    virtual void Message(QWidget* Parent, const QString& Text) = 0;
    // A question with the buttons Yes and No: true for Yes.
    virtual bool Question(QWidget* Parent, const QString& Text) = 0;
    // A question with the buttons Yes, No and Cancel; closing the box is Cancel.
    virtual TAnswer YesNoCancel(QWidget* Parent, const QString& Text) = 0;
    // A file name to open, or empty when the user cancelled.
    virtual QString OpenFileName(QWidget* Parent, const QString& Title, const QString& Folder,
                                 const QString& Filter) = 0;
    // A file name to save to, or empty when cancelled; asks before an existing file is replaced.
    virtual QString SaveFileName(QWidget* Parent, const QString& Proposed,
                                 const QString& Filter) = 0;
    // Shows Dialog modally and returns its result code.
    virtual int ShowModal(QDialog& Dialog) = 0;
};

class TDialogPrompter : public TPrompter {
public:
    void Information(QWidget* Parent, const QString& Text) override;
    void Message(QWidget* Parent, const QString& Text) override;
    bool Question(QWidget* Parent, const QString& Text) override;
    TAnswer YesNoCancel(QWidget* Parent, const QString& Text) override;
    QString OpenFileName(QWidget* Parent, const QString& Title, const QString& Folder,
                         const QString& Filter) override;
    QString SaveFileName(QWidget* Parent, const QString& Proposed, const QString& Filter) override;
    int ShowModal(QDialog& Dialog) override;
};
