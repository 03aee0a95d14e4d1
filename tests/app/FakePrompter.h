#pragma once
// Answers the window's questions in tests and records what was asked.

#include <QDialog>
#include <QStringList>

#include <deque>

#include "TPrompter.h"

class FakePrompter : public TPrompter {
public:
    QStringList informations;
    QStringList messages;
    QStringList questions;
    std::deque<bool> questionAnswers;      // Yes (true) or No, in turn; No when none is left
    std::deque<TAnswer> choiceAnswers;     // for YesNoCancel, in turn; Cancel when none is left
    QStringList dialogs;                   // object names of the dialogs shown modally
    std::deque<QString> openAnswers;       // file names the open dialog answers, in turn
    std::deque<QString> saveAnswers;       // file names the save dialog answers, in turn
    QStringList saveProposals;             // what the save dialog was opened with, in turn
    std::function<int(QDialog&)> onModal;  // optional: acts on a modal dialog

    void Information(QWidget*, const QString& text) override { informations << text; }
    void Message(QWidget*, const QString& text) override { messages << text; }
    bool Question(QWidget*, const QString& text) override {
        questions << text;
        if (questionAnswers.empty()) return false;
        const bool answer = questionAnswers.front();
        questionAnswers.pop_front();
        return answer;
    }
    TAnswer YesNoCancel(QWidget*, const QString& text) override {
        questions << text;
        if (choiceAnswers.empty()) return TAnswer::Cancel;
        const TAnswer answer = choiceAnswers.front();
        choiceAnswers.pop_front();
        return answer;
    }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return Next(openAnswers);
    }
    QString SaveFileName(QWidget*, const QString& proposed, const QString&) override {
        saveProposals << proposed;
        return Next(saveAnswers);
    }
    int ShowModal(QDialog& dialog) override {
        dialogs << dialog.objectName();
        return onModal ? onModal(dialog) : QDialog::Rejected;
    }

private:
    static QString Next(std::deque<QString>& answers) {
        if (answers.empty()) return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};
