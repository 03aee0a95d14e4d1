#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>
#include <optional>
#include <string>

#include "Prell_SystemInfo.h"
#include "TextRoutines.h"

namespace {

// Sets environment variables for one test and puts the old values back afterwards, since the
// tests of this program share one process.
class TEnvironment {
public:
    ~TEnvironment() {
        for (const auto& [name, value] : Saved_) {
            if (value)
                qputenv(name.c_str(), *value);
            else
                qunsetenv(name.c_str());
        }
    }
    void Set(const char* Name, const QString& Value) {
        Save(Name);
        qputenv(Name, QFile::encodeName(Value));
    }
    void Unset(const char* Name) {
        Save(Name);
        qunsetenv(Name);
    }

private:
    void Save(const char* Name) {
        if (Saved_.count(Name)) return;
        Saved_[Name] =
            qEnvironmentVariableIsSet(Name) ? std::optional(qgetenv(Name)) : std::nullopt;
    }
    std::map<std::string, std::optional<QByteArray>> Saved_;
};

// A fresh home with no XDG variables, so every folder follows from HOME.
class TWindowsInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Temp_.isValid());
        Home = QDir(Temp_.path()).canonicalPath().toStdString();
        Env.Set("HOME", QString::fromStdString(Home));
        for (const char* name :
             {"XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "TMPDIR"})
            Env.Unset(name);
    }

    static unsigned Mode(const std::string& Path) {
        struct stat info {};
        if (stat(Path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return 0xFFFF;
        return info.st_mode & 07777;
    }

    TEnvironment Env;
    std::string Home;

private:
    QTemporaryDir Temp_;
};

TEST_F(TWindowsInfoTest, StateFolderIsCreatedUnderXdgStateHomeForTheUserOnly) {
    // The parent does not exist yet, and a trailing "/" must not double.
    const std::string state = Home + "/deep/state";
    Env.Set("XDG_STATE_HOME", QString::fromStdString(state + "/"));
    const TWindowsInfo info;
    EXPECT_EQ(info.SystemRootDir, state + "/tarnwick");
    EXPECT_EQ(Mode(info.SystemRootDir), 0700u);
    EXPECT_EQ(Mode(state), 0700u);
    EXPECT_EQ(AddTrailingBackslash(info.SystemRootDir) + "Tarnwick.bin",
              state + "/tarnwick/Tarnwick.bin");
}

TEST_F(TWindowsInfoTest, StateFolderFallsBackToHomeWhenXdgStateHomeIsUnsetEmptyOrRelative) {
    const std::string expected = Home + "/.local/state/tarnwick";
    {
        const TWindowsInfo info;
        EXPECT_EQ(info.SystemRootDir, expected);
        EXPECT_EQ(Mode(expected), 0700u);
    }
    for (const char* value : {"", "relative/state"}) {
        SCOPED_TRACE(value);
        Env.Set("XDG_STATE_HOME", QString::fromLatin1(value));
        EXPECT_EQ(TWindowsInfo().SystemRootDir, expected);
    }
    EXPECT_FALSE(QDir(QString::fromStdString(Home + "/relative")).exists());
}

TEST_F(TWindowsInfoTest, ExistingStateFolderIsNarrowedAndAFileInItsPlaceIsNotUsed) {
    const std::string state = Home + "/state";
    Env.Set("XDG_STATE_HOME", QString::fromStdString(state));
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(state + "/tarnwick")));
    ASSERT_EQ(chmod((state + "/tarnwick").c_str(), 0755), 0);
    EXPECT_EQ(TWindowsInfo().SystemRootDir, state + "/tarnwick");
    EXPECT_EQ(Mode(state + "/tarnwick"), 0700u);

    const std::string other = Home + "/other";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(other)));
    QFile file(QString::fromStdString(other + "/tarnwick"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    Env.Set("XDG_STATE_HOME", QString::fromStdString(other));
    EXPECT_EQ(TWindowsInfo().SystemRootDir, "");
}

}  // namespace
