#include "TPromoForm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

TPromoForm::TPromoForm(QWidget* Parent)
    : QDialog(Parent, Qt::Dialog | Qt::WindowCloseButtonHint | Qt::WindowTitleHint) {
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
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}
