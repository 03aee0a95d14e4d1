// Files the window reads that are damaged, huge or not text at all: its settings, a URL list and
// result files. None may crash the window, and none may cost the user a byte of a result.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "EventLoopWait.h"
#include "FakePrompter.h"
#include "HarvestText.h"
#include "Shown.h"
#include "THttpScan.h"
#include "TMainForm.h"
#include "TZusammenfassenForm.h"
#include "TestServer.h"
#include "WindowTest.h"
#include "ui_TMainForm.h"

namespace {

using namespace std::string_literals;  // "..."s keeps the NUL bytes a C string would end at

QByteArray Bytes(const std::string& text) {
    return QByteArray::fromStdString(text);
}

class BadFilesTest : public WindowTest {
protected:
    static void Write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    // The lines of a file the window wrote: each ends in CR LF, none is empty.
    static std::multiset<QByteArray> WrittenLines(const QByteArray& text) {
        std::multiset<QByteArray> lines;
        EXPECT_TRUE(text.isEmpty() || text.endsWith("\r\n"));
        for (const QByteArray& line : text.split('\n')) {
            if (line.isEmpty()) continue;  // the rest after the last line end
            EXPECT_TRUE(line.endsWith('\r'));
            lines.insert(line.chopped(1));
        }
        return lines;
    }

    // Every setting as the window shows it when Program.ini holds nothing usable.
    static void ExpectDefaults(TMainForm& w) {
        Ui::TMainForm& u = w.Controls();
        EXPECT_EQ(u.URLEdit->text(), "");
        EXPECT_EQ(u.Edit3->text(), "3");
        EXPECT_EQ(u.Edit6->text(), "6");
        EXPECT_EQ(u.SpiderOptionsGroupBox->ItemIndex(), 0);
        EXPECT_EQ(u.ProxyRadioGroupBox->ItemIndex(), 1);
        for (QLineEdit* edit : {u.Edit5, u.Edit7, u.Edit8, u.Edit9, u.Edit4, u.MaskEdit1})
            EXPECT_EQ(edit->text(), "") << edit->objectName().toStdString();
        for (QCheckBox* box : {u.CheckBox1, u.CheckBox2, u.CheckBox3, u.CheckBox4, u.CheckBox5,
                               u.CheckBox6, u.IncludeCheckBox, u.ExcludeCheckBox})
            EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    }
};

// Bytes that hold every value, NUL and lone CRs included, and no "[SETTINGS]" header.
QByteArray Garbage(int size, unsigned seed) {
    QByteArray bytes;
    for (int i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes.append(static_cast<char>(seed >> 16));
    }
    return bytes;
}

TEST_F(BadFilesTest, GarbageProgramIniStartsWithTheDefaultsAndSavesCleanly) {
    QByteArray utf16;  // a text editor's "Unicode" save: a NUL after every letter
    for (char c : QByteArray("\xff\xfe[SETTINGS]\r\nDepth=9\r\nURL=http://x/\r\n"))
        utf16.append(c).append('\0');
    const QByteArray files[] = {Garbage(65536, 1),
                                Garbage(17, 2),
                                QByteArray(4096, '\0'),
                                QByteArray(4096, '\r'),
                                utf16,
                                QByteArray("[SETTINGS"
                                           "\r\nDepth=9\r\n")};  // header never closed
    for (const QByteArray& bytes : files) {
        SCOPED_TRACE(bytes.left(16).toHex().toStdString());
        Write(m_app.filePath("Program.ini"), bytes);
        {
            auto w = NewWindow();
            ExpectDefaults(*w);
            w->SaveSettings();
        }
        EXPECT_TRUE(m_prompter.informations.isEmpty());
        // What was saved over the garbage reads back as the same defaults.
        auto again = NewWindow();
        ExpectDefaults(*again);
    }
}

TEST_F(BadFilesTest, BinaryAndOutOfRangeSettingsAreReadByTheirRules) {
    Write(m_app.filePath("Program.ini"),
          Bytes("[SETTINGS]\r\nURL=\x01\x80\xff"
                "abc\r\nDepth=\xff\r\nConcurrentDownloads=2147483647\r\n"
                "SpiderOptionsGroupBox=99\r\nProxyRadioGroupBox=-2147483648\r\n"
                "search_mail=TRUE\0\r\nRetrys=\0\0\r\nUserName=\xe4\xf6\r\n"s));
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    EXPECT_EQ(u.URLEdit->text(), QString::fromLatin1("\x01\x80\xff"
                                                     "abc"));
    EXPECT_EQ(u.Edit3->text(), "3");    // not a number: the default
    EXPECT_EQ(u.Edit6->text(), "100");  // clamped to the largest choice
    EXPECT_EQ(u.SpiderOptionsGroupBox->ItemIndex(), 2);
    EXPECT_EQ(u.ProxyRadioGroupBox->ItemIndex(), -1);  // none chosen, as a negative index means
    EXPECT_FALSE(u.CheckBox1->isChecked());            // "TRUE" plus a NUL is not TRUE
    EXPECT_EQ(u.Edit5->text(), QString(2, QChar(0)));
    EXPECT_EQ(u.Edit4->text(), QString::fromLatin1("\xe4\xf6"));
    EXPECT_TRUE(m_prompter.informations.isEmpty());
}

TEST_F(BadFilesTest, AListOfAHundredThousandLinesIsAccepted) {
    QByteArray text;
    for (int i = 0; i < 100000; ++i)
        text += "http://host" + QByteArray::number(i) + ".invalid/\r\n";
    Write(File("big.txt"), text);
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    m_prompter.openAnswers = {File("big.txt")};
    w->ListSearchBitBtnClick();
    ASSERT_EQ(m_prompter.informations.size(), 1);  // the explanation only, no complaint
    EXPECT_TRUE(m_prompter.informations[0].startsWith("Hier kann eine Liste von URLs"));
    EXPECT_EQ(Shown(u.StartBitBtn->text()), "Start Liste");
    EXPECT_TRUE(u.StartBitBtn->isEnabled());
    EXPECT_EQ(Shown(u.ListSearchBitBtn->text()), "Liste abarbeiten");
    EXPECT_TRUE(RunEnded(*w));  // loading starts nothing
}

// A line that is no URL must cost the user that line only: the list goes on with the next one,
// and the line reaches the crawler byte for byte (its complaint quotes it).
TEST_F(BadFilesTest, ABinaryListLoadsAndEveryLineIsTriedInTurn) {
    TestServer server(R"({"routes": {"/a": {"body": "<p>a</p>"}, "/c": {"body": "<p>c</p>"}}})");
    ASSERT_TRUE(server.Start());
    const QByteArray a = QByteArray::fromStdString(server.Url("/a"));
    const QByteArray c = QByteArray::fromStdString(server.Url("/c"));
    const QByteArray binary = Bytes("\0\x80\xff junk"s);
    // Four lines, ended by CR LF, a lone CR, LF and CR LF.
    Write(File("binary.txt"), a + "\r\n" + binary + "\r" + "\x01\x7f" + "abc\n" + c + "\r\n");
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    u.ProxyRadioGroupBox->SetItemIndex(0);  // straight to 127.0.0.1
    m_prompter.openAnswers = {File("binary.txt")};
    w->ListSearchBitBtnClick();
    ASSERT_EQ(Shown(u.StartBitBtn->text()), "Start Liste");

    QStringList captions;
    w->StartBitBtnClick();
    const bool finished = WaitFor([&] {
        const QString caption = Shown(u.ListSearchBitBtn->text());
        if (captions.isEmpty() || captions.back() != caption) captions << caption;
        return caption == "Liste abarbeiten" && RunEnded(*w);
    });
    EXPECT_TRUE(finished) << "list stopped at: " << captions.join(" | ").toStdString();
    EXPECT_EQ(captions,
              (QStringList{"Seite 1 durchsuchen", "Seite 2 durchsuchen", "Seite 3 durchsuchen",
                           "Seite 4 durchsuchen", "Liste abarbeiten"}));
    EXPECT_TRUE(m_prompter.messages.contains("Invalid Url : " + QString::fromLatin1(binary)))
        << m_prompter.messages.join(" | ").toStdString();
    std::vector<std::string> paths;
    for (const TestRequest& r : server.Requests())
        if (r.path != "/robots.txt") paths.push_back(r.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"/a", "/c"}));
    if (!finished) {  // leave no run behind for the next test
        w->StopBitBtnClick();
        WaitFor([&] { return RunEnded(*w); });
    }
}

TEST_F(BadFilesTest, AnUnreadableListIsRefusedAndTheLoadedListStays) {
    TestServer server(R"({"routes": {"/a": {"body": "<p>a</p>"}, "/b": {"body": "<p>b</p>"}}})");
    ASSERT_TRUE(server.Start());
    Write(File("good.txt"),
          QByteArray::fromStdString(server.Url("/a") + "\r\n" + server.Url("/b") + "\r\n"));
    const QString folder = File("list-folder.txt");
    ASSERT_TRUE(QDir().mkdir(folder));  // root reads every file, but nobody reads a folder

    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    u.ProxyRadioGroupBox->SetItemIndex(0);
    m_prompter.openAnswers = {folder};
    w->ListSearchBitBtnClick();
    EXPECT_EQ(m_prompter.informations.back(), "Die Datei \"" + folder +
                                                  "\" konnte nicht gelesen werden: Das ist ein "
                                                  "Ordner, keine Datei.");
    EXPECT_EQ(Shown(u.StartBitBtn->text()), "Start");

    m_prompter.openAnswers = {File("good.txt"), folder};
    w->ListSearchBitBtnClick();
    w->ListSearchBitBtnClick();
    EXPECT_EQ(m_prompter.informations.back(), "Die Datei \"" + folder +
                                                  "\" konnte nicht gelesen werden: Das ist ein "
                                                  "Ordner, keine Datei.");
    EXPECT_EQ(Shown(u.StartBitBtn->text()), "Start Liste");

    // The list loaded before the failure is the one that runs.
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor(
        [&] { return Shown(u.ListSearchBitBtn->text()) == "Liste abarbeiten" && RunEnded(*w); },
        30000));
    std::vector<std::string> paths;
    for (const TestRequest& r : server.Requests())
        if (r.path != "/robots.txt") paths.push_back(r.path);
    EXPECT_EQ(paths, (std::vector<std::string>{"/a", "/b"}));
}

// Result lines with NUL, control and 8-bit bytes; the pairs differ only after a NUL or in an
// 8-bit byte, so a routine that stops at NUL or folds the bytes would merge them.
const QByteArray kOddLines[] = {
    Bytes("a\0b@example.com"s),       Bytes("a\0c@example.com"s),
    QByteArray("x\x80@example.com"),  QByteArray("x\x81@example.com"),
    QByteArray("\xe4\xf6\xfc@xn.de"), QByteArray("\xff\xfe@example.com"),
    QByteArray("tab\tinside@x.de"),   QByteArray("plain@example.com"),
};

// What the window writes of them: every line as UTF-8, an 8-bit byte read as Latin-1.
std::multiset<QByteArray> OddLinesAsUtf8() {
    std::multiset<QByteArray> lines;
    for (const QByteArray& line : kOddLines)
        lines.insert(QByteArray::fromStdString(Utf8OfBytes(line.toStdString())));
    return lines;
}

TEST_F(BadFilesTest, RemovingDuplicatesKeepsEveryLineApartAsUtf8) {
    QByteArray text;
    for (const QByteArray& line : kOddLines) text += line + "\r\n";
    for (const QByteArray& line : kOddLines) text += line + "\n";  // every line twice
    text += "\r\n\r\n";
    Write(File("result.txt"), text);
    auto w = NewWindow();
    ASSERT_TRUE(w->RemoveDuplicates(File("result.txt")));
    EXPECT_EQ(WrittenLines(Read(File("result.txt"))), OddLinesAsUtf8());
    EXPECT_EQ(w->Controls().ResultLabel->text(),
              "Ergebnis: 8 Links (ohne Dubletten) wurden gespeichert!");

    // A folder in place of the file: a clear message, and nothing claimed as saved.
    const QString folder = File("folder.txt");
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_FALSE(w->RemoveDuplicates(folder));
    ASSERT_FALSE(m_prompter.informations.isEmpty());
    EXPECT_EQ(m_prompter.informations.back(), "Die Datei \"" + folder +
                                                  "\" konnte nicht gelesen werden: Das ist ein "
                                                  "Ordner, keine Datei.");
}

TEST_F(BadFilesTest, TheManagerMergesOddLinesApartAsUtf8) {
    QByteArray first, second;
    for (int i = 0; i < 8; ++i) (i % 2 ? first : second) += kOddLines[i] + "\r\n";
    first += kOddLines[1] + "\r" + kOddLines[2] + "\r\n";  // lone CR; both lines also in second
    Write(File("first.txt"), first);
    Write(File("second.txt"), second);
    const QString target = m_state.filePath("merged.txt");

    auto w = NewWindow();
    TZusammenfassenForm& merger = w->Merger();
    merger.ChooseFolder(m_files.path());
    QListWidget* list = merger.CheckListBox1();
    ASSERT_EQ(list->count(), 2);
    for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(Qt::Checked);
    m_prompter.saveAnswers = {target};
    merger.ZusammenfassenBitBtnClick();
    EXPECT_EQ(m_prompter.informations.back(),
              "Zusammenfassung wurde gespeichert! Eventuelle vorhandene Dubletten wurden "
              "gelöscht!");
    EXPECT_EQ(WrittenLines(Read(target)), OddLinesAsUtf8());
    // The sources are read, never changed.
    EXPECT_EQ(Read(File("first.txt")), first);
    EXPECT_EQ(Read(File("second.txt")), second);
}

}  // namespace
