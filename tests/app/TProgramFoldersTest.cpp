#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <optional>

#include "TProgramFolders.h"

namespace {

void Write(const QString& name, const QByteArray& bytes = "x") {
    QDir().mkpath(QFileInfo(name).path());
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    file.write(bytes);
}

QByteArray Read(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

mode_t Mode(const QString& name) {
    struct stat info {};
    return stat(QFile::encodeName(name).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value)
        : m_name(name),
          m_old(qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray()),
          m_wasSet(qEnvironmentVariableIsSet(name)) {
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    ~ScopedEnv() { m_wasSet ? qputenv(m_name, m_old) : qunsetenv(m_name); }

private:
    const char* m_name;
    QByteArray m_old;
    bool m_wasSet;
};

class TProgramFoldersTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }
    QString Path(const QString& name) const { return m_root.path() + "/" + name; }
    QTemporaryDir m_root;
};

TEST_F(TProgramFoldersTest, LocateChoosesDataAndSettingsByLayoutAndRights) {
    // "build": the shipped files beside the program; "usr/bin": an install with them in
    // usr/share/tarnwick; "both/bin" has them beside itself and in ../share/tarnwick too;
    // "bare": none anywhere.
    Write(Path("build/ver.ini"));
    QDir().mkpath(Path("usr/bin"));
    Write(Path("usr/share/tarnwick/ver.ini"));
    Write(Path("both/bin/ver.ini"));
    Write(Path("both/share/tarnwick/ver.ini"));
    QDir().mkpath(Path("bare"));
    struct Case {
        const char* program;
        bool writable;
        const char* configHome;  // relative to the root; nullptr: unknown
        const char* data;
        const char* settings;
    };
    const Case cases[] = {
        {"build", true, "config", "build/", "build/"},
        {"build", false, "config", "build/", "config/tarnwick/"},
        // Installed: the config folder even where the program may write (root in /usr/bin).
        {"usr/bin", true, "config", "usr/share/tarnwick/", "config/tarnwick/"},
        {"usr/bin/", false, "config", "usr/share/tarnwick/", "config/tarnwick/"},
        {"both/bin", true, "config", "both/bin/", "both/bin/"},
        {"bare", true, "config", "bare/", "bare/"},
        {"bare", false, "config", "bare/", "config/tarnwick/"},
        // Without a home there is no better place than the shipped files' folder.
        {"usr/bin", true, nullptr, "usr/share/tarnwick/", "usr/share/tarnwick/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program) + (c.writable ? " writable" : " read-only"));
        const TProgramFolders folders =
            TProgramFolders::Locate(Path(c.program), c.configHome ? Path(c.configHome) : QString(),
                                    [&](const QString&) { return c.writable; });
        EXPECT_EQ(folders.DataPath, Path(c.data));
        EXPECT_EQ(folders.SettingsPath, Path(c.settings));
        EXPECT_EQ(folders.Separate(), folders.DataPath != folders.SettingsPath);
    }
}

TEST_F(TProgramFoldersTest, UserConfigHomeFollowsTheXdgRules) {
    struct Case {
        std::optional<QByteArray> xdg, home;
        QString expected;
    };
    const Case cases[] = {
        {"/x/conf", "/home/anna", "/x/conf"},
        {"/x/conf/", "/home/anna", "/x/conf"},
        {"relative/conf", "/home/anna", "/home/anna/.config"},  // a relative value is ignored
        {"", "/home/anna", "/home/anna/.config"},
        {std::nullopt, "/home/anna/", "/home/anna/.config"},
        {std::nullopt, std::nullopt, ""},
        {std::nullopt, "", ""},
    };
    for (const Case& c : cases) {
        const ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        const ScopedEnv home("HOME", c.home);
        EXPECT_EQ(TProgramFolders::UserConfigHome(), c.expected)
            << (c.xdg ? c.xdg->constData() : "<unset>");
    }
}

TEST_F(TProgramFoldersTest, CanCreateFilesTriesTheFolderAsTheSystemSeesIt) {
    EXPECT_TRUE(TProgramFolders::CanCreateFiles(m_root.path()));
    EXPECT_TRUE(QDir(m_root.path())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty())
        << "the probe leaves nothing behind";
    EXPECT_FALSE(TProgramFolders::CanCreateFiles(Path("missing")));
    // Not even root may create files in /proc.
    EXPECT_FALSE(TProgramFolders::CanCreateFiles("/proc"));
    if (geteuid() != 0) {
        QDir().mkpath(Path("locked"));
        ASSERT_EQ(chmod(QFile::encodeName(Path("locked")).constData(), 0555), 0);
        EXPECT_FALSE(TProgramFolders::CanCreateFiles(Path("locked")));
        chmod(QFile::encodeName(Path("locked")).constData(), 0755);
    }
}

TEST_F(TProgramFoldersTest, PrepareMakesAPrivateFolderAndCopiesMissingListsOnce) {
    Write(Path("share/Include.ini"), "track\r\nstat\r\n");
    Write(Path("share/Exclude.ini"), "count\r\n");
    Write(Path("share/Kontaktseiten.ini"), "impressum\r\n");
    // Installed files are read-only for the user; the copy must still be his to rewrite.
    QFile::setPermissions(Path("share/Include.ini"), QFileDevice::ReadOwner);
    const TProgramFolders folders{Path("share/"), Path("config/deep/tarnwick/")};
    QString error;
    ASSERT_TRUE(folders.Prepare(error)) << error.toStdString();
    EXPECT_EQ(Mode(Path("config/deep/tarnwick")), 0700u);
    EXPECT_EQ(Mode(Path("config/deep")), 0700u);
    EXPECT_EQ(Read(Path("config/deep/tarnwick/Include.ini")), "track\r\nstat\r\n");
    EXPECT_EQ(Read(Path("config/deep/tarnwick/Exclude.ini")), "count\r\n");
    EXPECT_EQ(Read(Path("config/deep/tarnwick/Kontaktseiten.ini")), "impressum\r\n");
    EXPECT_TRUE(Mode(Path("config/deep/tarnwick/Include.ini")) & S_IWUSR);

    // The user's own lists are never replaced by the shipped ones.
    Write(Path("config/deep/tarnwick/Include.ini"), "mine\r\n");
    ASSERT_TRUE(QFile::remove(Path("config/deep/tarnwick/Exclude.ini")));
    ASSERT_TRUE(folders.Prepare(error));
    EXPECT_EQ(Read(Path("config/deep/tarnwick/Include.ini")), "mine\r\n");
    EXPECT_EQ(Read(Path("config/deep/tarnwick/Exclude.ini")), "count\r\n");
}

TEST_F(TProgramFoldersTest, PrepareReportsASettingsFolderThatCannotBeMade) {
    Write(Path("file"));
    const TProgramFolders blocked{Path("share/"), Path("file/tarnwick/")};
    QString error;
    EXPECT_FALSE(blocked.Prepare(error));
    EXPECT_TRUE(error.contains(Path("file/tarnwick/"))) << error.toStdString();

    EXPECT_EQ(TProgramFolders::Beside("").DataPath, "") << "the current folder, not the root";
    // Settings beside the shipped files: nothing to make, nothing copied.
    const TProgramFolders beside = TProgramFolders::Beside(Path("build"));
    EXPECT_TRUE(beside.Prepare(error));
    EXPECT_FALSE(QFileInfo::exists(Path("build")));
}

TEST_F(TProgramFoldersTest, MissingShippedFilesNamesEachAbsentFile) {
    Write(Path("data/ver.ini"));
    Write(Path("data/recom/banner.jpg"));
    Write(Path("data/Include.ini"));
    const TProgramFolders folders = TProgramFolders::Beside(Path("data"));
    EXPECT_EQ(folders.MissingShippedFiles(),
              QStringList({Path("data/help/help.html"), Path("data/recom/about.jpg"),
                           Path("data/recom/tip.jpg"), Path("data/Exclude.ini"),
                           Path("data/Kontaktseiten.ini")}));
}

}  // namespace
