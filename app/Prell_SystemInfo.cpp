#include "Prell_SystemInfo.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QtGlobal>
#include <cerrno>
#include <vector>

std::unique_ptr<TWindowsInfo> WindowsInfo;

namespace {

// File name bytes as the system sees them, without a trailing "/" (the root stays "/").
std::string FolderBytes(const QString& Folder) {
    if (Folder.isEmpty()) return {};
    std::string bytes = QFile::encodeName(QDir::cleanPath(Folder)).toStdString();
    while (bytes.size() > 1 && bytes.back() == '/') bytes.pop_back();
    return bytes;
}

std::string WritableLocation(QStandardPaths::StandardLocation Location) {
    return FolderBytes(QStandardPaths::writableLocation(Location));
}

// The password database entry of the effective user, read once per call; empty fields when there
// is none (a container may run under a uid without an entry).
struct TUserEntry {
    std::string Name;
    std::string Home;
};

TUserEntry UserEntry() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (!found) return {};
    return {found->pw_name ? found->pw_name : "", found->pw_dir ? found->pw_dir : ""};
}

// $HOME as the XDG rules use it; the password database when HOME is unset or empty.
std::string HomeDir(const TUserEntry& User) {
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty()) return FolderBytes(QFile::decodeName(home));
    return FolderBytes(QFile::decodeName(QByteArray::fromStdString(User.Home)));
}

// The program's state folder, created when missing. An existing folder must belong to the user;
// group and other rights are taken away since it will hold harvested addresses.
std::string StateFolder(const std::string& Home) {
    std::string base = QFile::encodeName(qEnvironmentVariable("XDG_STATE_HOME")).toStdString();
    // The XDG rules say a relative value is invalid and must be ignored.
    if (base.empty() || base.front() != '/') {
        if (Home.empty() || Home.front() != '/') return {};
        base = AddTrailingBackslash(Home) + ".local/state";
    }
    const std::string folder = FolderBytes(
        QFile::decodeName(QByteArray::fromStdString(AddTrailingBackslash(base) + "tarnwick")));
    if (!MakeFolders(folder)) return {};
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0 || info.st_uid != geteuid()) return {};
    if ((info.st_mode & 077) != 0 && chmod(folder.c_str(), 0700) != 0) return {};
    return folder;
}

std::string ReadOsReleaseName() {
    // The os-release rules: /etc/os-release first, /usr/lib/os-release when it is missing.
    for (const char* name : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile file(QString::fromLatin1(name));
        if (!file.open(QIODevice::ReadOnly)) continue;
        return PrettyNameFromOsRelease(file.read(64 * 1024).toStdString());
    }
    return {};
}

}  // namespace

bool MakeFolders(const std::string& Folder) {
    for (std::size_t slash = Folder.find('/', 1);; slash = Folder.find('/', slash + 1)) {
        const std::string part = Folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) == 0) chmod(part.c_str(), 0700);  // umask may narrow more
        if (slash == std::string::npos) break;
    }
    struct stat info {};
    return stat(Folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

TWindowsInfo::TWindowsInfo() {
    const TUserEntry user = UserEntry();
    const std::string home = HomeDir(user);
    DesktopDir = WritableLocation(QStandardPaths::DesktopLocation);
    PersonalDir = WritableLocation(QStandardPaths::DocumentsLocation);
#if QT_VERSION >= QT_VERSION_CHECK(6, 4, 0)
    TemplatesDir = WritableLocation(QStandardPaths::TemplatesLocation);
#endif
    const std::string config = WritableLocation(QStandardPaths::GenericConfigLocation);
    if (!config.empty()) StartupDir = AddTrailingBackslash(config) + "autostart";
    // Not FontsLocation: Qt's answer for it changed between versions (~/.fonts before 6).
    const std::string data = WritableLocation(QStandardPaths::GenericDataLocation);
    if (!data.empty()) FontsDir = AddTrailingBackslash(data) + "fonts";
    ProgramsDir = WritableLocation(QStandardPaths::ApplicationsLocation);
    CacheDir = WritableLocation(QStandardPaths::GenericCacheLocation);
    TempDir = FolderBytes(QDir::tempPath());
    LogonUserName = user.Name;
    if (LogonUserName.empty()) LogonUserName = qgetenv("USER").toStdString();
    OSName = "Linux";
    const std::string distribution = ReadOsReleaseName();
    if (!distribution.empty()) OSName += ", " + distribution;
    SystemRootDir = StateFolder(home);
}

std::string PrettyNameFromOsRelease(std::string_view Text) {
    constexpr std::string_view key = "PRETTY_NAME=";
    std::size_t begin = 0;
    while (begin < Text.size()) {
        std::size_t end = Text.find('\n', begin);
        if (end == std::string_view::npos) end = Text.size();
        std::string_view line = Text.substr(begin, end - begin);
        begin = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.substr(0, key.size()) != key) continue;
        line.remove_prefix(key.size());
        // Values follow shell quoting: double quotes with backslash escapes, or single quotes.
        std::string value;
        char quote = 0;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (quote == 0 && (c == '"' || c == '\'')) {
                quote = c;
            } else if (c == quote) {
                quote = 0;
            } else if (c == '\\' && quote != '\'' && i + 1 < line.size()) {
                value += line[++i];
            } else {
                value += c;
            }
        }
        return value;
    }
    return {};
}

std::string AddTrailingBackslash(std::string_view Folder) {
    std::string result(Folder);
    if (!result.empty() && result.back() != '/') result += '/';
    return result;
}

std::string PathOfFileName(std::string_view FileName) {
    const std::size_t slash = FileName.rfind('/');
    if (slash == std::string_view::npos) return {};
    // A file in the root keeps the root itself as its folder.
    if (slash == 0) return "/";
    return std::string(FileName.substr(0, slash));
}

bool CharInText(std::string_view Text, char C) {
    return Text.find(C) != std::string_view::npos;
}

bool WordPositionN(int N, std::string_view Text, std::string_view Delimiters,
                   std::size_t& Position) {
    int count = 0;
    std::size_t i = 0;
    while (i < Text.size()) {
        i = Text.find_first_not_of(Delimiters, i);
        if (i == std::string_view::npos) break;
        if (++count == N) {
            Position = i + 1;
            return true;
        }
        i = Text.find_first_of(Delimiters, i);
    }
    return false;
}

std::string ExtractWordN(int N, std::string_view Text, std::string_view Delimiters) {
    std::size_t position = 0;
    if (!WordPositionN(N, Text, Delimiters, position)) return {};
    const std::size_t begin = position - 1;
    const std::size_t end = Text.find_first_of(Delimiters, begin);
    return std::string(Text.substr(begin, end == std::string_view::npos ? end : end - begin));
}
