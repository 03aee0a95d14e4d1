#include "TPromoForm.h"

#include <QCheckBox>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>

#include "FileErrorText.h"

TPromoForm::TPromoForm(const QString& SettingsPath, QWidget* Parent, TPrompter* Prompter)
    : QDialog(Parent, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint),
      m_settingsPath(SettingsPath),
      m_prompter(Prompter ? *Prompter : m_ownPrompter),
      m_checkBox1(new QCheckBox("&nicht mehr anzeigen", this)) {
    setObjectName("TPromoForm");
    setWindowTitle("Weitere Programme");
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        "Vielen Dank, dass Sie Tarnwick pro verwenden! Vielleicht "
        "interessieren Sie auch unsere anderen Programme:",
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    const std::pair<const char*, const char*> products[] = {
        {"Tarnwick Link-Prüfer: findet tote Links auf Ihrer Website",
         "https://tarnwick.example/linkpruefer.html"},
        {"Tarnwick Bilder-Sammler: lädt Bilder ganzer Websites herunter",
         "https://tarnwick.example/bildersammler.html"},
    };
    for (const auto& [name, url] : products) {
        auto* link = new QLabel(QString("<a href=\"%1\">%2</a>").arg(url, name), this);
        link->setOpenExternalLinks(true);
        layout->addWidget(link);
    }
    m_checkBox1->setObjectName("CheckBox1");
    auto* close = new QPushButton("S&chließen", this);
    close->setObjectName("CloseBitBtn");
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &TPromoForm::CloseBitBtnClick);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_checkBox1);
    bottom->addStretch();
    bottom->addWidget(close);
    layout->addLayout(bottom);
}

void TPromoForm::CloseBitBtnClick() {
    if (m_checkBox1->isChecked()) {
        // Truncate: the marker is always empty, whatever a file of that name held before.
        const QString name = m_settingsPath + "NoWer.ini";
        QFile marker(name);
        errno = 0;
        if (!marker.open(QIODevice::WriteOnly | QIODevice::Truncate))
            m_prompter.Message(this, CannotWriteText(name, FileErrorText(name, errno)));
    }
    accept();
}
