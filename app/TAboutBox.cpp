#include "TAboutBox.h"

#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "HarvestText.h"
#include "TJpegImage.h"
#include "TextBytes.h"

namespace {

// A version line is a few dozen bytes; reading no more than this keeps a damaged or huge
// "ver.ini" from being loaded whole into a label.
constexpr qint64 kMaxVersionBytes = 4096;

QLabel* NoticeLabel(const QString& Name, const QString& Text, QWidget* Parent) {
    auto* label = new QLabel(Text, Parent);
    label->setObjectName(Name);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

QString TAboutBox::UnknownVersion() {
    return "Version unbekannt";
}

QString TAboutBox::ReadVersionText(const QString& FileName) {
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly)) return UnknownVersion();
    const QByteArray head = file.read(kMaxVersionBytes);
    if (head.isEmpty()) return UnknownVersion();
    // Everything of the first line, blanks included, is shown as written.
    const std::vector<std::string_view> lines =
        SplitLines(std::string_view(head.constData(), static_cast<std::size_t>(head.size())));
    return TextOfBytes(lines.front());
}

TAboutBox::TAboutBox(const QString& AppPath, QWidget* Parent, const QString& SettingsPath)
    : QDialog(Parent, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint) {
    setObjectName("TAboutBox");
    setFixedSize(385, 368);

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);

    m_image1 = new QLabel(panel);
    m_image1->setObjectName("Image1");
    m_image1->setAlignment(Qt::AlignCenter);
    // Keeps the place of the picture when it is missing, so the texts do not jump up.
    m_image1->setFixedHeight(120);

    m_productName = NoticeLabel("ProductName", QString(), panel);
    QFont large = m_productName->font();
    large.setBold(true);
    large.setPointSize(large.pointSize() + 4);
    m_productName->setFont(large);

    m_versionLabel = NoticeLabel("VersionLabel", QString(), panel);
    // Blanks at either end of the version text are part of it and must stay visible.
    m_versionLabel->setWordWrap(false);

    auto* label1 = NoticeLabel("Label1",
                               "Dieses Programm ist als Werkzeuge zu sehen, das sinnvoll und "
                               "rechtlich einwandfrei eingesetzt werden kann. ",
                               panel);
    auto* label2 = NoticeLabel(
        "Label2",
        "Wie bei vielen Dingen kann auch unsere Software für moralisch oder rechtlich nicht "
        "einwandfreie Handlungen genutzt werden. Wir möchten an dieser Stelle eindringlich von "
        "eine derartigen Verwendung unserer Software abraten.",
        panel);

    m_settingsLabel = NoticeLabel("SettingsLabel", QString(), panel);
    // Selectable, so the user can copy the folder name into a file manager.
    m_settingsLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* inner = new QVBoxLayout(panel);
    inner->addWidget(m_image1);
    inner->addWidget(m_productName);
    inner->addWidget(m_versionLabel);
    inner->addSpacing(6);
    inner->addWidget(label1);
    inner->addWidget(label2);
    inner->addStretch();
    inner->addWidget(m_settingsLabel);

    m_okButton = new QPushButton("OK", this);
    m_okButton->setObjectName("OKButton");
    m_okButton->setDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(m_okButton);
    bottom->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addLayout(bottom);

    FormCreate(AppPath, SettingsPath.isEmpty() ? AppPath : SettingsPath);
}

void TAboutBox::FormCreate(const QString& AppPath, const QString& SettingsPath) {
    setWindowTitle("Tarnwick pro");
    m_productName->setText("Tarnwick pro");
    const QImage picture = LoadJpeg(AppPath + "recom/about.jpg");
    if (!picture.isNull()) m_image1->setPixmap(QPixmap::fromImage(picture));
    m_versionLabel->setText(ReadVersionText(AppPath + "ver.ini"));
    m_settingsLabel->setText("Einstellungen: " + SettingsPath);
}
