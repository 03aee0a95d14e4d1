#include "TSpezialURLForm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

constexpr TSearchEngine kEngines[] = {
    {"Fireball", "www.fireball.de",
     "/fcgi/query.fcg?action=query&pg=express&q=", "&what=german_web"},
    {"Google", "www.google.de", "/search?q=", "&btnG=Google-Suche&meta=lr%3Dlang_de"},
    {"Yahoo", "de.search.yahoo.com", "/bin/query_de?p=", ""},
    {"Altavista", "de.altavista.com", "/q?pg=q&q=", "&kl=XX&what=de&search.x=43&search.y=9"},
    {"Lycos", "www.lycos.de",
     "/cgi-bin/pursuit?matchmode=and&mtemp=main&etemp=error&query=", "&cat=de_spkr"},
};

QLabel* NewLabel(const char* Name, const QString& Text, QWidget* Parent) {
    auto* label = new QLabel(Text, Parent);
    label->setObjectName(Name);
    return label;
}

QLineEdit* NewEdit(const char* Name, QWidget* Parent) {
    auto* edit = new QLineEdit(Parent);
    edit->setObjectName(Name);
    return edit;
}

}  // namespace

std::span<const TSearchEngine> TSpezialURLForm::Engines() {
    return kEngines;
}

TSpezialURLForm::TSpezialURLForm(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint) {
    setObjectName("TSpezialURLForm");
    setWindowTitle("URL's erzeugen");
    setFixedSize(324, 345);

    auto* label1 = NewLabel("Label1",
                            "Mit dieser Funktion haben Sie die Möglichkeit die URL für eine "
                            "Suchmaschinenanfrage zu generieren. Somit können Sie mit "
                            "Suchbegriffen gezielt nach Links suchen.",
                            this);
    label1->setWordWrap(true);
    label1->setStyleSheet("color: navy; font-weight: bold;");

    m_comboBox1 = new QComboBox(this);
    m_comboBox1->setObjectName("ComboBox1");
    m_comboBox1->setEditable(true);
    // Typed text is never an engine: it must not join the list, be completed into an item, or
    // pick the item of the same name when Enter is pressed (see eventFilter).
    m_comboBox1->setInsertPolicy(QComboBox::NoInsert);
    m_comboBox1->setCompleter(nullptr);
    m_comboBox1->installEventFilter(this);
    m_comboBox1->lineEdit()->installEventFilter(this);
    for (const TSearchEngine& engine : kEngines) m_comboBox1->addItem(engine.Name);
    m_comboBox1->setCurrentIndex(-1);
    m_comboBox1->setEditText("Bitte treffen Sie eine Auswahl");

    m_edit1 = NewEdit("Edit1", this);
    m_edit2 = NewEdit("Edit2", this);
    m_edit3 = NewEdit("Edit3", this);

    m_bitBtn1 =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), "Ü&bernehmen", this);
    m_bitBtn1->setObjectName("BitBtn1");
    m_bitBtn1->setDefault(true);
    m_bitBtn1->setEnabled(false);
    m_bitBtn2 =
        new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "&Abbrechen", this);
    m_bitBtn2->setObjectName("BitBtn2");
    m_bitBtn2->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addSpacing(8);
    layout->addWidget(NewLabel("Label2", "Suchmaschine wählen:", this));
    layout->addWidget(m_comboBox1);
    layout->addSpacing(8);
    layout->addWidget(NewLabel("Label3", "Suchbegriffe eingeben:", this));
    layout->addWidget(m_edit1);
    layout->addWidget(m_edit2);
    layout->addWidget(m_edit3);
    layout->addWidget(NewLabel("Label4", "Bitte nur einen Begriff pro Eingabefeld!", this));
    layout->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_bitBtn1);
    buttons->addWidget(m_bitBtn2);
    layout->addLayout(buttons);

    connect(m_comboBox1->lineEdit(), &QLineEdit::textEdited, this,
            &TSpezialURLForm::ComboBox1Typed);
    connect(m_comboBox1, &QComboBox::currentIndexChanged, this, &TSpezialURLForm::ComboBox1Change);
    connect(m_comboBox1, &QComboBox::editTextChanged, this, &TSpezialURLForm::ComboBox1Change);
    for (QLineEdit* edit : {m_edit1, m_edit2, m_edit3})
        connect(edit, &QLineEdit::textChanged, this, &TSpezialURLForm::ComboBox1Change);
    connect(m_bitBtn1, &QPushButton::clicked, this, &TSpezialURLForm::BitBtn1Click);
    connect(m_bitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

bool TSpezialURLForm::eventFilter(QObject* Watched, QEvent* Event) {
    // Enter in the engine selector means "Übernehmen", as in the other fields. The combo box
    // would first select the item whose name matches the typed text, which the typed text must
    // not do, so the key is taken here before the combo box sees it.
    if (Event->type() == QEvent::KeyPress &&
        (Watched == m_comboBox1 || Watched == m_comboBox1->lineEdit())) {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (m_bitBtn1->isEnabled()) m_bitBtn1->click();
            return true;
        }
    }
    return QDialog::eventFilter(Watched, Event);
}

void TSpezialURLForm::ComboBox1Typed() {
    // An editable combo box keeps its item selected while its text is typed over; the typed
    // text names no engine, so the selection goes and the typed text stays as it is.
    if (m_comboBox1->currentIndex() < 0) return;
    QLineEdit* edit = m_comboBox1->lineEdit();
    const QString text = edit->text();
    const int cursor = edit->cursorPosition();
    m_comboBox1->setCurrentIndex(-1);
    m_comboBox1->setEditText(text);
    edit->setCursorPosition(cursor);
}

void TSpezialURLForm::ComboBox1Change() {
    // Clearing a term later keeps the button usable, as the user already made a choice.
    if (m_comboBox1->currentIndex() >= 0 && !m_edit1->text().isEmpty()) m_bitBtn1->setEnabled(true);
}

QString TSpezialURLForm::BuildUrl() const {
    const int index = m_comboBox1->currentIndex();
    if (index < 0 || index >= static_cast<int>(std::size(kEngines))) return {};
    // Terms go into the address as typed, so the start URL field shows exactly what was entered
    // and the user can still correct it there before the run.
    QString terms = m_edit1->text().trimmed();
    for (const QLineEdit* edit : {m_edit2, m_edit3}) {
        const QString term = edit->text().trimmed();
        if (!term.isEmpty()) terms += "+" + term;
    }
    const TSearchEngine& engine = kEngines[index];
    return "http://" + QString::fromLatin1(engine.Host) + QString::fromLatin1(engine.Before) +
           terms + QString::fromLatin1(engine.After);
}

void TSpezialURLForm::BitBtn1Click() {
    m_url = BuildUrl();
    accept();
}
