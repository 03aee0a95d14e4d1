#include "THelpForm.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

THelpForm::THelpForm(QWidget* Parent) : QDialog(Parent), m_browser(new QTextBrowser(this)) {
    setObjectName("HelpForm");
    setWindowTitle("Tarnwick pro - Hilfe");
    auto* layout = new QVBoxLayout(this);
    m_browser->setOpenExternalLinks(true);
    layout->addWidget(m_browser);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton("&Schließen", QDialogButtonBox::RejectRole);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(720, 560);
}

bool THelpForm::ShowPage(const QString& FileName) {
    const QFileInfo file(FileName);
    if (!file.isFile() || !file.isReadable()) return false;
    m_browser->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
    return !m_browser->toPlainText().isEmpty();
}
