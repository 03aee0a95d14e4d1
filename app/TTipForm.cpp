#include "TTipForm.h"

#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "TDocumentOpener.h"
#include "TJpegImage.h"

namespace {

QLabel* BoldText(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// A label that reacts to a click like a link.
class TClickLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QLabel::mouseReleaseEvent(event);
        if (OnClick) OnClick();
    }
};

}  // namespace

QString TTipForm::ExamplePage() {
    return "http://www.musikbands.example/bands-von-a-bis-z.html";
}

TTipForm::TTipForm(const QString& AppPath, QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint),
      m_appPath(AppPath) {
    setObjectName("TTipForm");
    setWindowTitle("Hinweis");
    setFixedSize(745, 537);

    auto* area = new QScrollArea(this);
    area->setWidgetResizable(true);
    auto* page = new QWidget(area);
    page->setAutoFillBackground(true);
    page->setStyleSheet("background: white;");
    auto* text = new QVBoxLayout(page);

    auto* image1 = new QLabel(page);
    image1->setObjectName("Image1");
    const QImage picture = LoadJpeg(m_appPath + "recom/tip.jpg");
    if (!picture.isNull()) image1->setPixmap(QPixmap::fromImage(picture));
    text->addWidget(image1);

    auto* label3 = BoldText("Tipp", page);
    QFont large = label3->font();
    large.setPointSize(large.pointSize() + 8);
    label3->setFont(large);
    auto* label4 = BoldText("Bitte unbedingt lesen sonst funktioniert das Programm nicht!", page);
    label4->setStyleSheet("color: red;");
    text->addWidget(label3);
    text->addWidget(label4);
    text->addWidget(BoldText(
        "Entscheident für die Funktion ist, dass Sie eine gute Startseite wissen! ", page));
    text->addWidget(
        BoldText("Von dieser Startseite aus verfolgt Tarnwick pro alle Links, besucht "
                 "alle nachfolgenden Seiten \nund sucht dort nach Email-Adressen.",
                 page));
    text->addWidget(BoldText("Hier ein Beispiel für eine gute Startseite:", page));

    auto* link = new TClickLabel(ExamplePage(), page);
    link->setObjectName("Label2");
    link->setStyleSheet("color: blue; text-decoration: underline; font-weight: bold;");
    link->setCursor(Qt::PointingHandCursor);
    link->OnClick = [this] { Label2Click(); };
    m_label2 = link;
    text->addWidget(link);

    text->addWidget(
        BoldText("Es handlet sich hierbei um eine Liste von Musikbands deren Seiten "
                 "besucht und deren Email-Adressen gescannt werden.",
                 page));
    text->addWidget(BoldText(
        "Sie können nun natürlich im Internet einfach nach Startseiten mit Themengebieten suchen "
        "z.B. \nListen mit Autohändlern, Listen mit mittelständischen Betrieben, Listen mit "
        "Reisebüros etc. etc.",
        page));
    text->addWidget(BoldText(
        "Sie können auch eine Suchmaschinenseite oder ein Forum als Startseite nehmen. Geben Sie "
        "\nhierzu in der gewünschten Suchmaschine Ihr Themengebiet ein und drücken Sie auf Suche. "
        "\nSie können nun den dementsprechenden Link mit Ihrem Suchergebnis von Ihrem Browser in "
        "den \nTarnwick kopieren und somit die Suchmaschinenseite als Startseite verwenden.",
        page));
    text->addStretch();
    area->setWidget(page);

    m_checkBox1 = new QCheckBox("Diese Meldung nicht mehr anzeigen", this);
    m_checkBox1->setObjectName("CheckBox1");
    auto* bitBtn1 = new QPushButton("Weiter", this);
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
        QFile marker(m_appPath + "NoTip.ini");
        if (!marker.open(QIODevice::WriteOnly | QIODevice::Truncate))
            QMessageBox::warning(this, windowTitle(), marker.errorString());
    }
    accept();
}

void TTipForm::Label2Click() {
    if (!OpenDocument(ExamplePage()))
        QMessageBox::information(this, windowTitle(),
                                 "Unable to start internet browser! Make sure you have it "
                                 "properly set-up on your system!");
}
