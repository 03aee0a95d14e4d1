#include "TPrompter.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

// The German notices are titled like the hint dialog; plain messages carry the program's name.
void TDialogPrompter::Information(QWidget* Parent, const QString& Text) {
    QMessageBox::information(Parent, "Hinweis", Text);
}

void TDialogPrompter::Message(QWidget* Parent, const QString& Text) {
    QMessageBox box(QMessageBox::NoIcon, "Tarnwick pro", Text, QMessageBox::Ok, Parent);
    box.exec();
}

bool TDialogPrompter::Question(QWidget* Parent, const QString& Text) {
    return QMessageBox::question(Parent, "Frage", Text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

TAnswer TDialogPrompter::YesNoCancel(QWidget* Parent, const QString& Text) {
    // Cancel is the default: Enter pressed by habit loses nothing.
    const auto button = QMessageBox::question(
        Parent, "Frage", Text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
        QMessageBox::Cancel);
    return button == QMessageBox::Yes  ? TAnswer::Yes
           : button == QMessageBox::No ? TAnswer::No
                                       : TAnswer::Cancel;
}

QString TDialogPrompter::OpenFileName(QWidget* Parent, const QString& Title, const QString& Folder,
                                      const QString& Filter) {
    return QFileDialog::getOpenFileName(Parent, Title, Folder, Filter);
}

QString TDialogPrompter::SaveFileName(QWidget* Parent, const QString& Proposed,
                                      const QString& Filter) {
    // QFileDialog asks before it replaces an existing file.
    QFileDialog dialog(Parent, "Speichern unter", Proposed, Filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("txt");
    dialog.selectFile(Proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

int TDialogPrompter::ShowModal(QDialog& Dialog) {
    return Dialog.exec();
}
