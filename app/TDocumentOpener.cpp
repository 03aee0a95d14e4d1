#include "TDocumentOpener.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

bool OpenDocument(const QString& Document) {
    if (Document.isEmpty()) return false;
    const QUrl asUrl(Document, QUrl::TolerantMode);
    // A scheme of one letter would be a drive on other systems; here every scheme has more.
    const bool isUrl = asUrl.isValid() && asUrl.scheme().size() > 1;
    const QUrl target = isUrl ? asUrl : QUrl::fromLocalFile(QFileInfo(Document).absoluteFilePath());
    return QDesktopServices::openUrl(target);
}
