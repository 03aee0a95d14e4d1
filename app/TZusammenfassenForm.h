#pragma once
// The result manager ("Ergebnis Manager"): lists the "*.txt" files of a folder, merges the ticked
// ones into one file sorted and without duplicates, and opens a single file in the editor. Made
// once by the main window and shown modally; it keeps its folder and ticks between showings.

#include <QDialog>
#include <QStringList>

class QComboBox;
class QFileSystemModel;
class QListWidget;
class QPushButton;
class QTreeView;
class TMainForm;
class TPrompter;

// Sorts file names as a German file manager lists them: German collation, letter case aside,
// digits by their value ("Liste2" before "Liste10").
void SortFileNames(QStringList& Names);

class TZusammenfassenForm : public QDialog {
    Q_OBJECT
public:
    TZusammenfassenForm(TMainForm& Main, TPrompter& Prompter, QWidget* Parent = nullptr);

    // The folder whose files are listed, with a trailing "/"; empty: the current folder.
    const QString& CurrentFolder() const { return m_folder; }
    // Makes Folder the current folder, shows it in the tree and lists its files.
    void ChooseFolder(const QString& Folder);

    QComboBox* DriveComboBox1() const { return m_drives; }
    QTreeView* DirectoryListBox1() const { return m_tree; }
    QListWidget* CheckListBox1() const { return m_files; }

    void ListResultFiles();
    bool AnyFileChecked();
    void ZusammenfassenBitBtnClick();
    void CheckListBox1DblClick();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent* Event) override;

private:
    void FormActivate();
    void DriveComboBox1Change();
    void DirectoryListBox1Change();
    void ShowDriveOf(const QString& Folder);
    void ScrollToFolder();
    void FolderLoaded(const QString& Path);
    void RememberFolderPlace();
    void KeepFolderInPlace();

    TMainForm& m_main;
    TPrompter& m_prompter;
    QComboBox* m_drives;
    QTreeView* m_tree;
    QFileSystemModel* m_model;
    QListWidget* m_files;
    QString m_folder;
    int m_folderTop = -1;  // where the chosen folder stood in sight before the model re-sorted
    QString m_lastTarget;
};
