#include "Prell_SystemInfo.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <QtGlobal>
#include <cerrno>
#include <vector>

#include "TextRoutines.h"

std::unique_ptr<TWindowsInfo> WindowsInfo;

namespace {

// File name bytes as the system sees them, without a trailing "/" (the root stays "/").
std::string FolderBytes(const QString& Folder) {
    if (Folder.isEmpty()) return {};
    std::string bytes = QFile::encodeName(QDir::cleanPath(Folder)).toStdString();
    while (bytes.size() > 1 && bytes.back() == '/') bytes.pop_back();
    return bytes;
}

// The home folder of the effective user in the password database; empty when there is no entry
// (a container may run under a uid without one).
std::string PasswordHome() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    return found && found->pw_dir ? found->pw_dir : "";
}

// $HOME as the XDG rules use it; the password database when HOME is unset or empty.
std::string HomeDir() {
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty()) return FolderBytes(QFile::decodeName(home));
    return FolderBytes(QFile::decodeName(QByteArray::fromStdString(PasswordHome())));
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
    SystemRootDir = StateFolder(HomeDir());
}
