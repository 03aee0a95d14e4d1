#pragma once
// The help page in a window of the program's own, for a desktop that opens no browser. It shows
// the shipped HTML page and follows its links inside the page; links to the web are handed to
// the desktop. GUI thread only; the main window owns it and shows it beside itself.

#include <QDialog>

class QTextBrowser;

class THelpForm : public QDialog {
    Q_OBJECT
public:
    explicit THelpForm(QWidget* Parent = nullptr);

    // Loads the page of the file FileName; false when it cannot be read.
    bool ShowPage(const QString& FileName);
    QTextBrowser& Browser() { return *m_browser; }

private:
    QTextBrowser* m_browser;
};
