#include "OutputFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

// As many links as the system itself follows before it gives up (ELOOP).
constexpr int kMaxLinks = 40;

bool IsStandardOutput(const std::string& Name) {
    return Name.empty() || Name == kStandardOutputName;
}

std::string FolderOf(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : Path.substr(0, slash);
}

// The file a name finally stands for: its symbolic links followed, the last one possibly
// dangling. Empty with Error set on a loop or an unreadable link.
std::string FinalTarget(const std::string& Name, int& Error) {
    std::string path = Name;
    for (int links = 0; links <= kMaxLinks; ++links) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length < 0) {
            Error = errno;
            return {};
        }
        target.resize(static_cast<std::size_t>(length));
        path = target.starts_with('/') ? target : FolderOf(path) + "/" + target;
    }
    Error = ELOOP;
    return {};
}

}  // namespace

TOutputFile::~TOutputFile() {
    if (m_ownsFd && m_fd >= 0) close(m_fd);
    if (!m_tempName.empty()) unlink(m_tempName.c_str());
}

void TOutputFile::Fail(int ErrorNumber) {
    if (m_error.empty())
        m_error = "cannot write " + (m_name.empty() ? std::string("standard output") : m_name) +
                  ": " + std::strerror(ErrorNumber);
}

bool TOutputFile::Open(const std::string& Name) {
    m_name = Name;
    // Never resolved: standard output may be a file that the shell opened for appending, or
    // one that must not be replaced under it.
    if (IsStandardOutput(Name)) {
        m_fd = STDOUT_FILENO;
        return true;
    }
    int error = 0;
    m_target = FinalTarget(Name, error);
    if (m_target.empty()) {
        Fail(error);
        return false;
    }
    struct stat old {};
    const bool exists = stat(m_target.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) {
        Fail(errno);
        return false;
    }
    if (exists && !S_ISREG(old.st_mode)) {
        m_fd = open(m_target.c_str(), O_WRONLY | O_CLOEXEC);
        if (m_fd < 0) {
            Fail(errno);
            return false;
        }
        m_ownsFd = true;
        return true;
    }
    std::string pattern = m_target + ".XXXXXX";
    m_fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0) {
        Fail(errno);
        return false;
    }
    m_ownsFd = true;
    m_tempName = pattern;
    // The finished file gets the old file's permissions, or those a newly created file would
    // have, not mkstemp's owner-only ones.
    mode_t mode = old.st_mode & 07777;
    if (!exists) {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(m_fd, mode);
    return true;
}

bool TOutputFile::Write(const char* Data, std::size_t Size) {
    if (!m_error.empty()) return false;
    while (Size > 0) {
        const ssize_t written = write(m_fd, Data, Size);
        if (written < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
            return false;
        }
        Data += written;
        Size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool TOutputFile::Commit() {
    if (!m_error.empty()) return false;
    if (!m_ownsFd) return true;
    // A full disk may only show when the file is closed.
    const int fd = m_fd;
    m_fd = -1;
    m_ownsFd = false;
    if (close(fd) != 0) {
        Fail(errno);
        return false;
    }
    if (m_tempName.empty()) return true;
    if (rename(m_tempName.c_str(), m_target.c_str()) != 0) {
        Fail(errno);
        return false;
    }
    m_tempName.clear();
    return true;
}

bool WriteOutputFile(const std::string& Name, const char* Data, std::size_t Size,
                     std::string& Error) {
    TOutputFile file;
    if (file.Open(Name) && file.Write(Data, Size) && file.Commit()) return true;
    Error = file.Error();
    return false;
}

namespace {

// What makes two outputs one file; nothing for a file that may be shared or cannot be written.
struct TFileIdentity {
    bool StandardOutput = false;  // this program's standard output itself
    dev_t Device = 0;
    ino_t Inode = 0;
    std::string Path;  // for a file not yet there: its absolute path, links resolved
};

std::optional<TFileIdentity> IdentityOf(const TNamedOutput& Output) {
    struct stat info {};
    TFileIdentity id;
    if (Output.Direct && IsStandardOutput(Output.Name)) {
        if (fstat(STDOUT_FILENO, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
        id.StandardOutput = true;
    } else {
        int error = 0;
        const std::string target = FinalTarget(Output.Name, error);
        if (target.empty()) return std::nullopt;
        if (stat(target.c_str(), &info) != 0) {
            if (errno != ENOENT) return std::nullopt;
            char* folder = realpath(FolderOf(target).c_str(), nullptr);
            if (!folder) return std::nullopt;
            id.Path = std::string(folder) + "/" + target.substr(target.rfind('/') + 1);
            std::free(folder);
            return id;
        }
        if (!S_ISREG(info.st_mode)) return std::nullopt;
    }
    id.Device = info.st_dev;
    id.Inode = info.st_ino;
    return id;
}

bool SameFile(const TFileIdentity& A, const TFileIdentity& B) {
    if (A.StandardOutput && B.StandardOutput) return false;
    if (!A.Path.empty() || !B.Path.empty()) return A.Path == B.Path;
    return A.Device == B.Device && A.Inode == B.Inode;
}

}  // namespace

std::string SameOutputFile(const std::vector<TNamedOutput>& Outputs) {
    std::vector<std::pair<const TNamedOutput*, TFileIdentity>> seen;
    for (const TNamedOutput& output : Outputs) {
        const std::optional<TFileIdentity> id = IdentityOf(output);
        if (!id) continue;
        for (const auto& [earlier, earlierId] : seen)
            if (SameFile(earlierId, *id))
                return earlier->Option + " and " + output.Option + " name one file (" +
                       (output.Name.empty() ? std::string(kStandardOutputName) : output.Name) +
                       "): each output needs a file of its own";
        seen.emplace_back(&output, *id);
    }
    return {};
}
