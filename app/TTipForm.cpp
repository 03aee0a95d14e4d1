#include "TTipForm.h"

#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <cerrno>
#include <functional>

#include "FileErrorText.h"
#include "TDocumentOpener.h"
#include "TJpegImage.h"

namespace {

QLabel* BoldText(const char* Name, const QString& Text, QWidget* Parent) {
    auto* label = new QLabel(Text, Parent);
    label->setObjectName(Name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// A label that acts like a link: a left click released over it opens its target.
class TClickLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* Event) override {
        QLabel::mouseReleaseEvent(Event);
        // Releasing elsewhere is how a user takes back a press, so only a release inside counts.
        if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint()) &&
            OnClick)
            OnClick();
    }
};

}  // namespace

QString TTipForm::ExamplePage() {
    return "http://www.musikbands.example/bands-von-a-bis-z.html";
}

QString TTipForm::BrowserFailure() {
    return "Unable to start internet browser! Make sure you have it properly set-up on your "
           "system!";
}

TTipForm::TTipForm(const QString& AppPath, QWidget* Parent, TPrompter* Prompter,
                   const QString& SettingsPath)
    : QDialog(Parent, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint),
      m_appPath(AppPath),
      m_settingsPath(SettingsPath.isEmpty() ? AppPath : SettingsPath),
      m_prompter(Prompter ? *Prompter : m_ownPrompter) {
    setObjectName("TTipForm");
    setWindowTitle("Hinweis");
    setFixedSize(745, 537);

    auto* area = new QScrollArea(this);
    area->setObjectName("ScrollBox1");
    area->setWidgetResizable(true);
    auto* page = new QWidget(area);
    page->setObjectName("ScrollPage");
    page->setAutoFillBackground(true);
    page->setStyleSheet("#ScrollPage, QLabel { background: white; }");
    auto* text = new QVBoxLayout(page);

    auto* image1 = new QLabel(page);
    image1->setObjectName("Image1");
    const QImage picture = LoadJpeg(m_appPath + "recom/tip.jpg");
    if (!picture.isNull()) image1->setPixmap(QPixmap::fromImage(picture));
    text->addWidget(image1);

    auto* label3 = BoldText("Label3", "Tipp", page);
    QFont large = label3->font();
    large.setPointSize(large.pointSize() + 8);
    label3->setFont(large);
    auto* label4 =
        BoldText("Label4", "Bitte unbedingt lesen sonst funktioniert das Programm nicht!", page);
    label4->setStyleSheet("color: red;");
    text->addWidget(label3);
    text->addWidget(label4);
    text->addWidget(BoldText(
        "Memo1", "Entscheident für die Funktion ist, dass Sie eine gute Startseite wissen! ",
        page));
    text->addWidget(BoldText("Memo4",
                             "Von dieser Startseite aus verfolgt Tarnwick pro alle Links, besucht "
                             "alle nachfolgenden Seiten \nund sucht dort nach Email-Adressen.",
                             page));
    text->addWidget(BoldText("Label1", "Hier ein Beispiel für eine gute Startseite:", page));

    auto* link = new TClickLabel(ExamplePage(), page);
    link->setObjectName("Label2");
    link->setTextFormat(Qt::PlainText);
    link->setStyleSheet("color: blue; text-decoration: underline; font-weight: bold;");
    link->setCursor(Qt::PointingHandCursor);
    link->OnClick = [this] { Label2Click(); };
    m_label2 = link;
    text->addWidget(link);

    text->addWidget(BoldText("Label5",
                             "Es handlet sich hierbei um eine Liste von Musikbands deren Seiten "
                             "besucht und deren Email-Adressen gescannt werden.",
                             page));
    text->addWidget(BoldText(
        "Memo2",
        "Sie können nun natürlich im Internet einfach nach Startseiten mit Themengebieten suchen "
        "z.B. \nListen mit Autohändlern, Listen mit mittelständischen Betrieben, Listen mit "
        "Reisebüros etc. etc.",
        page));
    text->addWidget(BoldText(
        "Memo3",
        "Sie können auch eine Suchmaschinenseite oder ein Forum als Startseite nehmen. Geben Sie "
        "\nhierzu in der gewünschten Suchmaschine Ihr Themengebiet ein und drücken Sie auf Suche. "
        "\nSie können nun den dementsprechenden Link mit Ihrem Suchergebnis von Ihrem Browser in "
        "den \nTarnwick kopieren und somit die Suchmaschinenseite als Startseite verwenden.",
        page));
    text->addStretch();
    area->setWidget(page);

    m_checkBox1 = new QCheckBox("Diese Meldung &nicht mehr anzeigen", this);
    m_checkBox1->setObjectName("CheckBox1");
    auto* bitBtn1 = new QPushButton("&Weiter", this);
    bitBtn1->setObjectName("BitBtn1");
    bitBtn1->setDefault(true);
    connect(bitBtn1, &QPushButton::clicked, this, &TTipForm::BitBtn1Click);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_checkBox1);
    bottom->addStretch();
    bottom->addWidget(bitBtn1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(area);
    layout->addLayout(bottom);
}

void TTipForm::BitBtn1Click() {
    if (m_checkBox1->isChecked()) {
        // Truncate: an old file of that name may hold text, and the marker is always empty.
        const QString name = m_settingsPath + "NoTip.ini";
        QFile marker(name);
        errno = 0;
        if (!marker.open(QIODevice::WriteOnly | QIODevice::Truncate))
            m_prompter.Message(this, CannotWriteText(name, FileErrorText(name, errno)));
    }
    accept();
}

void TTipForm::Label2Click() {
    if (!OpenDocument(ExamplePage())) m_prompter.Message(this, BrowserFailure());
}
