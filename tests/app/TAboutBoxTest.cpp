#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "TAboutBox.h"

namespace {

class TAboutBoxTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_app.isValid()); }
    QString AppPath() const { return m_app.path() + "/"; }
    void WriteVersion(const QByteArray& bytes) {
        QFile f(m_app.filePath("ver.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString ShownVersion() {
        TAboutBox box(AppPath());
        return box.VersionLabel()->text();
    }

    QTemporaryDir m_app;
};

TEST_F(TAboutBoxTest, VersionIsTheFirstLineExactlyAsWritten) {
    WriteVersion("  Version 2.5 beta  \r\nsecond line\r\n");
    EXPECT_EQ(ShownVersion(), "  Version 2.5 beta  ");

    WriteVersion("\tVersion 3 \nsecond line");
    EXPECT_EQ(ShownVersion(), "\tVersion 3 ");

    // A single line without any line end.
    WriteVersion("Version 1.0.0");
    EXPECT_EQ(ShownVersion(), "Version 1.0.0");

    // Bytes above 127 are Latin-1, as the file was written by the installer.
    WriteVersion("Ausgabe f\xFCr 2024\r\n");
    EXPECT_EQ(ShownVersion(), QString::fromUtf8("Ausgabe für 2024"));
    WriteVersion("Ausgabe f\xC3\xBCr 2024\r\n");
    EXPECT_EQ(ShownVersion(), QString::fromUtf8("Ausgabe für 2024"));

    // An empty first line is what the file says; no fallback then.
    WriteVersion("\r\nVersion 9");
    EXPECT_EQ(ShownVersion(), "");
}

TEST_F(TAboutBoxTest, VersionThatLooksLikeMarkupIsShownAsText) {
    WriteVersion("<b>Version</b> 2\r\n");
    TAboutBox box(AppPath());
    EXPECT_EQ(box.VersionLabel()->text(), "<b>Version</b> 2");
    EXPECT_EQ(box.VersionLabel()->textFormat(), Qt::PlainText);
}

TEST_F(TAboutBoxTest, MissingEmptyOrUnreadableVersionFileShowsTheFallback) {
    EXPECT_EQ(ShownVersion(), "Version unbekannt");
    WriteVersion("");
    EXPECT_EQ(ShownVersion(), "Version unbekannt");
    ASSERT_TRUE(QFile::remove(m_app.filePath("ver.ini")));
    ASSERT_TRUE(QDir(m_app.path()).mkdir("ver.ini"));
    EXPECT_EQ(ShownVersion(), "Version unbekannt");
}

TEST_F(TAboutBoxTest, CaptionTextsAndButton) {
    WriteVersion("Version 1.0.0\r\n");
    TAboutBox box(AppPath());
    EXPECT_EQ(box.windowTitle(), "Tarnwick pro");
    EXPECT_EQ(box.size(), QSize(385, 368));
    const auto text = [&](const char* name) {
        auto* label = box.findChild<QLabel*>(name);
        return label ? label->text() : QString("<missing %1>").arg(name);
    };
    EXPECT_EQ(text("ProductName"), "Tarnwick pro");
    EXPECT_EQ(text("VersionLabel"), "Version 1.0.0");
    EXPECT_EQ(text("Label1"),
              "Dieses Programm ist als Werkzeuge zu sehen, das sinnvoll und rechtlich "
              "einwandfrei eingesetzt werden kann. ");
    EXPECT_EQ(text("Label2"),
              "Wie bei vielen Dingen kann auch unsere Software für moralisch oder rechtlich nicht "
              "einwandfreie Handlungen genutzt werden. Wir möchten an dieser Stelle "
              "eindringlich von eine derartigen Verwendung unserer Software abraten.");
    EXPECT_TRUE(box.findChild<QLabel*>("Label1")->wordWrap());
    EXPECT_TRUE(box.findChild<QLabel*>("Label2")->wordWrap());

    QPushButton* ok = box.OKButton();
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
    box.show();
    ok->click();
    EXPECT_EQ(box.result(), QDialog::Accepted);
    EXPECT_FALSE(box.isVisible());
}

TEST_F(TAboutBoxTest, PictureComesFromRecomAndMayBeMissing) {
    TAboutBox without(AppPath());
    EXPECT_TRUE(without.Image1()->pixmap().isNull());

    ASSERT_TRUE(QDir(m_app.path()).mkdir("recom"));
    const QString shipped = QStringLiteral(TARNWICK_DATA_DIR "/recom/about.jpg");
    ASSERT_TRUE(QFile::copy(shipped, m_app.filePath("recom/about.jpg")));
    TAboutBox with(AppPath());
    ASSERT_FALSE(with.Image1()->pixmap().isNull());
    EXPECT_EQ(with.Image1()->pixmap().size(), QSize(360, 120));
}

}  // namespace
