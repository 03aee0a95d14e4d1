#include "TZusammenfassenForm.h"

#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

#include "FileErrorText.h"
#include "HarvestText.h"
#include "TDocumentOpener.h"
#include "TMainForm.h"
#include "TPrompter.h"

namespace {
const QString kChooseFirst = "Bitte treffen Sie zuerst eine Auswahl!";
}

void SortFileNames(QStringList& Names) {
    QCollator collator(QLocale(QLocale::German, QLocale::Germany));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    // Names equal to the collator (case aside) keep a fixed order.
    std::stable_sort(Names.begin(), Names.end(), [&](const QString& a, const QString& b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
    });
}

TZusammenfassenForm::TZusammenfassenForm(TMainForm& Main, TPrompter& Prompter, QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint),
      m_main(Main),
      m_prompter(Prompter),
      m_drives(new QComboBox(this)),
      m_tree(new QTreeView(this)),
      m_model(new QFileSystemModel(this)),
      m_files(new QListWidget(this)) {
    setObjectName("TZusammenfassenForm");
    setWindowTitle("Ergebnis Manager");
    resize(480, 420);

    auto* label1 = new QLabel(
        "Hier können Sie die einzelen Dateien mit Email-Adressen zu einer "
        "Gesamtdatei zusammenfassen! Dubletten werden hierbei gelöscht!",
        this);
    label1->setObjectName("Label1");
    label1->setWordWrap(true);
    label1->setStyleSheet("color: navy;");

    // The "drives" of this system are its mounted file systems.
    m_drives->setObjectName("DriveComboBox1");
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady()) m_drives->addItem(volume.rootPath());
    // Hidden folders stay hidden, as in the user's file manager.
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_model->setRootPath(QDir::rootPath());
    m_tree->setObjectName("DirectoryListBox1");
    m_tree->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column) m_tree->hideColumn(column);
    m_tree->setHeaderHidden(true);
    ShowDriveOf(QDir::currentPath());
    m_tree->setCurrentIndex(m_model->index(QDir::currentPath()));

    m_files->setObjectName("CheckListBox1");
    auto* merge = new QPushButton("Dateien &zusammenfassen", this);
    merge->setObjectName("ZusammenfassenBitBtn");
    auto* edit = new QPushButton("Datei &bearbeiten", this);
    edit->setObjectName("BitBtn1");
    auto* cancel = new QPushButton("&Abbrechen", this);
    cancel->setObjectName("BitBtn2");

    auto* folders = new QVBoxLayout;
    folders->addWidget(m_drives);
    folders->addWidget(m_tree);
    auto* lists = new QHBoxLayout;
    lists->addLayout(folders);
    lists->addWidget(m_files);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(merge);
    buttons->addWidget(edit);
    buttons->addStretch();
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addLayout(lists);
    layout->addLayout(buttons);

    // The model reads folders in the background; the chosen one is scrolled to once its
    // parents are read, else it would lie out of sight in a long tree. The model sorts a
    // folder's rows only after it has read them, and the view would keep its scroll position
    // while the rows move under it: the chosen folder keeps its place in sight instead.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, &TZusammenfassenForm::FolderLoaded);
    connect(m_model, &QAbstractItemModel::layoutAboutToBeChanged, this,
            &TZusammenfassenForm::RememberFolderPlace);
    connect(m_model, &QAbstractItemModel::layoutChanged, this,
            &TZusammenfassenForm::KeepFolderInPlace);
    connect(m_drives, &QComboBox::currentIndexChanged, this,
            &TZusammenfassenForm::DriveComboBox1Change);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TZusammenfassenForm::DirectoryListBox1Change);
    connect(m_files, &QListWidget::itemDoubleClicked, this,
            &TZusammenfassenForm::CheckListBox1DblClick);
    connect(merge, &QPushButton::clicked, this, &TZusammenfassenForm::ZusammenfassenBitBtnClick);
    connect(edit, &QPushButton::clicked, this, &TZusammenfassenForm::CheckListBox1DblClick);
    connect(cancel, &QPushButton::clicked, this, &TZusammenfassenForm::BitBtn2Click);
}

void TZusammenfassenForm::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    FormActivate();
}

void TZusammenfassenForm::FormActivate() {
    const QString last = m_main.LastSaveDir();
    if (last.isEmpty()) return;  // the folder and the list stay as they were left
    ChooseFolder(last);
}

void TZusammenfassenForm::ShowDriveOf(const QString& Folder) {
    const QString root = QStorageInfo(Folder).rootPath();
    const int index = m_drives->findText(root);
    if (index < 0) return;
    const QSignalBlocker quiet(m_drives);
    m_drives->setCurrentIndex(index);
}

void TZusammenfassenForm::ChooseFolder(const QString& Folder) {
    ShowDriveOf(Folder);
    const QModelIndex index = m_model->index(QDir(Folder).absolutePath());
    {
        const QSignalBlocker quiet(m_tree->selectionModel());
        m_tree->setCurrentIndex(index);
    }
    m_folder = QDir(Folder).absolutePath();
    ScrollToFolder();
    if (!m_folder.endsWith('/')) m_folder += '/';
    ListResultFiles();
}

void TZusammenfassenForm::ScrollToFolder() {
    const QModelIndex index = m_model->index(m_folder.isEmpty() ? QDir::currentPath() : m_folder);
    if (index.isValid()) m_tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void TZusammenfassenForm::FolderLoaded(const QString& Path) {
    // Only a folder on the way to the chosen one can move it; another folder the user opens
    // does not pull the view back.
    const QString folder = m_folder.isEmpty() ? QDir::currentPath() + '/' : m_folder;
    const QString parent = Path.endsWith('/') ? Path : Path + '/';
    if (folder.startsWith(parent)) ScrollToFolder();
}

void TZusammenfassenForm::RememberFolderPlace() {
    m_folderTop = -1;
    const QModelIndex current = m_tree->currentIndex();
    if (!current.isValid()) return;
    const QRect place = m_tree->visualRect(current);
    if (m_tree->viewport()->rect().intersects(place)) m_folderTop = place.top();
}

void TZusammenfassenForm::KeepFolderInPlace() {
    const QModelIndex current = m_tree->currentIndex();
    if (m_folderTop < 0 || !current.isValid()) return;
    const QRect place = m_tree->visualRect(current);
    int shift = place.top() - m_folderTop;
    if (m_tree->verticalScrollMode() == QAbstractItemView::ScrollPerItem && place.height() > 0)
        shift /= place.height();
    QScrollBar* bar = m_tree->verticalScrollBar();
    bar->setValue(bar->value() + shift);
    m_folderTop = -1;
}

void TZusammenfassenForm::DriveComboBox1Change() {
    const QString root = m_drives->currentText();
    m_tree->setCurrentIndex(m_model->index(root));
    m_tree->scrollTo(m_model->index(root));
}

void TZusammenfassenForm::DirectoryListBox1Change() {
    const QString path = m_model->filePath(m_tree->currentIndex());
    if (path.isEmpty()) return;
    m_folder = path.endsWith('/') ? path : path + '/';
    ListResultFiles();
}

void TZusammenfassenForm::ListResultFiles() {
    m_files->clear();
    const QDir folder(m_folder.isEmpty() ? QDir::currentPath() : m_folder);
    // Sorted as a German file manager shows them (case aside, numbers by value); folders named
    // "*.txt" are no result files.
    QStringList names =
        folder.entryList({"*.txt"}, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    SortFileNames(names);
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(name, m_files);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

bool TZusammenfassenForm::AnyFileChecked() {
    for (int i = 0; i < m_files->count(); ++i)
        if (m_files->item(i)->checkState() == Qt::Checked) return true;
    m_prompter.Information(this, kChooseFirst);
    return false;
}

void TZusammenfassenForm::ZusammenfassenBitBtnClick() {
    if (!AnyFileChecked()) return;
    // Every source is read before the target is written, so the target may be one of them.
    // A merged file holds each result as it was saved; RemoveDuplicates writes it as UTF-8, so a
    // result saved in Latin-1 by an older version meets its UTF-8 twin.
    std::vector<std::string> merged;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString unreadable, reason;
    for (int i = 0; i < m_files->count() && unreadable.isEmpty(); ++i) {
        const QListWidgetItem* item = m_files->item(i);
        if (item->checkState() != Qt::Checked) continue;
        std::vector<std::string> lines;
        if (ReadByteLines(m_folder + item->text(), lines, reason))
            merged.insert(merged.end(), lines.begin(), lines.end());
        else
            unreadable = m_folder + item->text();
    }
    QApplication::restoreOverrideCursor();
    if (!unreadable.isEmpty()) {
        m_prompter.Information(
            this, CannotReadText(unreadable, reason) + "\nEs wurde nichts zusammengefasst.");
        return;
    }
    m_main.NeverCollect().RemoveListedLines(merged);
    // The dialog opens in the folder being merged, with the last target's name.
    const QString name =
        m_lastTarget.isEmpty() ? QString("unbenannt.txt") : QFileInfo(m_lastTarget).fileName();
    const QString proposed = (m_folder.isEmpty() ? QDir::currentPath() + '/' : m_folder) + name;
    const QString target = m_prompter.SaveFileName(this, proposed, "Textdatei (*.txt)");
    if (!target.isEmpty()) {
        m_lastTarget = target;
        QString error;
        if (!WriteByteLines(target, merged, error)) {
            m_prompter.Information(
                this, "Die Datei \"" + target + "\" konnte nicht geschrieben werden: " + error);
        } else if (m_main.RemoveDuplicates(target)) {
            m_prompter.Information(this,
                                   "Zusammenfassung wurde gespeichert! Eventuelle "
                                   "vorhandene Dubletten wurden gelöscht!");
        }
    }
    ListResultFiles();
}

void TZusammenfassenForm::CheckListBox1DblClick() {
    const QListWidgetItem* item = m_files->currentItem();
    if (!item) {
        m_prompter.Information(this, kChooseFirst);
        return;
    }
    const QString folder = m_folder.isEmpty() ? QString() : m_folder;
    if (!OpenDocument(folder + item->text())) m_prompter.Message(this, "Unable to start editor!");
}

void TZusammenfassenForm::BitBtn2Click() {
    reject();
}
