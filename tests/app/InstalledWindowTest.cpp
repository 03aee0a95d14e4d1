// The window in an installed layout (program in usr/bin, shipped files in usr/share/tarnwick) and
// in a program folder it may not write: the settings move to the user's config folder.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include "EventLoopWait.h"
#include "FakePrompter.h"
#include "TAboutBox.h"
#include "TMainForm.h"
#include "TProgramFolders.h"
#include "TTipForm.h"
#include "ui_TMainForm.h"

namespace {

mode_t Mode(const QString& name) {
    struct stat info {};
    return stat(QFile::encodeName(name).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Every file below Folder with its size, to see that nothing was written there.
QStringList Listing(const QString& Folder) {
    QStringList files;
    QDirIterator it(Folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        files << it.filePath() + " " + QString::number(it.fileInfo().size());
    }
    files.sort();
    return files;
}

bool CopyTree(const QString& From, const QString& To) {
    QDirIterator it(From, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = To + source.mid(From.size());
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(source, target)) return false;
    }
    return true;
}

enum class Layout { Installed, ReadOnlyBuildFolder };

class InstalledWindowTest : public ::testing::TestWithParam<Layout> {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_root.isValid() && m_state.isValid());
        const bool installed = GetParam() == Layout::Installed;
        m_program = m_root.filePath(installed ? "usr/bin" : "build");
        m_shipped = installed ? m_root.filePath("usr/share/tarnwick") : m_program;
        ASSERT_TRUE(QDir().mkpath(m_program));
        ASSERT_TRUE(CopyTree(QStringLiteral(TARNWICK_DATA_DIR), m_shipped));
        m_config = m_root.filePath("home/.config");
        // Installed: even a program folder that may be written (root's /usr/bin) keeps no
        // settings. The build folder stands for one the user may not write.
        m_folders = TProgramFolders::Locate(m_program, m_config,
                                            [installed](const QString&) { return installed; });
        QString error;
        ASSERT_TRUE(m_folders.Prepare(error)) << error.toStdString();
        m_before = Listing(m_root.filePath(installed ? "usr" : "build"));
    }
    QString Settings(const QString& name) const { return m_config + "/tarnwick/" + name; }

    QTemporaryDir m_root, m_state;
    QString m_program, m_shipped, m_config;
    TProgramFolders m_folders;
    QStringList m_before;
    FakePrompter m_prompter;
};

TEST_P(InstalledWindowTest, ReadsShippedFilesAndKeepsSettingsInTheConfigFolder) {
    EXPECT_EQ(m_folders.DataPath, m_shipped + "/");
    EXPECT_EQ(m_folders.SettingsPath, m_config + "/tarnwick/");
    EXPECT_TRUE(m_folders.MissingShippedFiles().isEmpty())
        << m_folders.MissingShippedFiles().join(' ').toStdString();
    EXPECT_EQ(Mode(m_config + "/tarnwick"), 0700u);

    auto w = std::make_unique<TMainForm>(m_folders, m_state.path(), m_prompter);
    Ui::TMainForm& u = w->Controls();
    // The shipped keyword lists reached the memos through the user's copies.
    EXPECT_EQ(u.ExcludeMemo->toPlainText().toStdString(), "track\nhitbox\nreferer\nstat\ncount");
    EXPECT_FALSE(u.Image2->pixmap().isNull()) << "banner picture";
    EXPECT_FALSE(w->About().Image1()->pixmap().isNull()) << "about picture";
    EXPECT_EQ(w->About().VersionLabel()->text(), "Version 1.0.0");
    EXPECT_EQ(w->About().SettingsLabel()->text(), "Einstellungen: " + m_config + "/tarnwick/");
    EXPECT_TRUE(QFileInfo(w->AppPath() + "help/help.html").isFile());

    // First start: the hint shows; ticking its box writes the marker into the config folder.
    bool tipPicture = false;
    m_prompter.onModal = [&tipPicture](QDialog& dialog) {
        auto* tip = qobject_cast<TTipForm*>(&dialog);
        if (!tip) return int(QDialog::Rejected);
        tipPicture = !tip->findChild<QLabel*>("Image1")->pixmap().isNull();
        tip->CheckBox1()->setChecked(true);
        tip->BitBtn1Click();
        return tip->result();
    };
    w->show();
    SpinFor(50);
    EXPECT_EQ(m_prompter.dialogs, QStringList{"TTipForm"});
    EXPECT_TRUE(tipPicture);
    EXPECT_TRUE(QFile::exists(Settings("NoTip.ini")));

    u.URLEdit->setText("http://example.org/");
    u.MaskEdit1->setText("secret");
    w->close();
    EXPECT_TRUE(m_prompter.dialogs.contains("TPromoForm"));
    EXPECT_TRUE(m_prompter.informations.isEmpty())
        << m_prompter.informations.join('\n').toStdString();
    QFile ini(Settings("Program.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    EXPECT_TRUE(text.contains("URL=http://example.org/")) << text.toStdString();
    EXPECT_TRUE(text.contains("Password=secret"));
    EXPECT_EQ(Mode(Settings("Program.ini")), 0600u);
    EXPECT_TRUE(QFile::exists(Settings("Include.ini")));
    EXPECT_TRUE(QFile::exists(Settings("Exclude.ini")));
    EXPECT_EQ(Listing(m_root.filePath(GetParam() == Layout::Installed ? "usr" : "build")), m_before)
        << "nothing written beside the program or the shipped files";

    // The next start reads the settings back from there.
    auto again = std::make_unique<TMainForm>(m_folders, m_state.path(), m_prompter);
    EXPECT_EQ(again->Controls().URLEdit->text(), "http://example.org/");
}

INSTANTIATE_TEST_SUITE_P(Layouts, InstalledWindowTest,
                         ::testing::Values(Layout::Installed, Layout::ReadOnlyBuildFolder),
                         [](const auto& Info) {
                             return Info.param == Layout::Installed ? "Installed"
                                                                    : "ReadOnlyBuildFolder";
                         });

TEST(BuildFolderWindowTest, ForProgramKeepsSettingsBesideAWritableBuildFolder) {
    QTemporaryDir build, config;
    ASSERT_TRUE(build.isValid() && config.isValid());
    QFile(build.filePath("ver.ini")).open(QIODevice::WriteOnly);
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QString error;
    const TProgramFolders folders = TProgramFolders::ForProgram(build.path(), error);
    qputenv("XDG_CONFIG_HOME", old);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(folders.DataPath, build.path() + "/");
    EXPECT_EQ(folders.SettingsPath, build.path() + "/");
    EXPECT_FALSE(QFileInfo::exists(config.filePath("tarnwick")));
}

}  // namespace
