#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QObject>
#include <QUrl>

#include "TDocumentOpener.h"

namespace {

// Stands in for the desktop's browser and editor: records what it was asked to open.
class OpenRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened.append(url); }
};

TEST(TDocumentOpenerTest, UrlsGoToTheBrowserAndFileNamesAreMadeAbsolute) {
    OpenRecorder recorder;
    QDesktopServices::setUrlHandler("http", &recorder, "Open");
    QDesktopServices::setUrlHandler("https", &recorder, "Open");
    QDesktopServices::setUrlHandler("file", &recorder, "Open");

    EXPECT_TRUE(OpenDocument("http://example.com/start.htm?x=1"));
    EXPECT_TRUE(OpenDocument("https://example.com/"));
    EXPECT_TRUE(OpenDocument("results.txt"));
    EXPECT_FALSE(OpenDocument(""));

    ASSERT_EQ(recorder.opened.size(), 3);
    EXPECT_EQ(recorder.opened[0].toString(), "http://example.com/start.htm?x=1");
    EXPECT_EQ(recorder.opened[1].toString(), "https://example.com/");
    EXPECT_TRUE(recorder.opened[2].isLocalFile());
    EXPECT_EQ(recorder.opened[2].toLocalFile(), QDir::current().absoluteFilePath("results.txt"));

    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("file");
}

}  // namespace

#include "TDocumentOpenerTest.moc"
