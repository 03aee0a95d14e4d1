#include "TRunJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "JournalRecord.h"

namespace {
// A page with many links makes a large group; past this much the groups are written at once.
constexpr std::size_t kWriteBytes = 256 * 1024;
constexpr std::chrono::seconds kSyncInterval{1};
constexpr std::int64_t kStartWriteBytes = 256 * 1024;

// A write lock on the whole file, owned by the open file (not the process), so that it ends with
// the file's close, a crash's included, and two openings in one process exclude each other too.
struct flock WholeFile() {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return lock;
}
}  // namespace

TRunJournal::TRunJournal()
    : Write([](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }) {}

TRunJournal::~TRunJournal() {
    Close();
}

bool TRunJournal::Open(const std::string& Path, int Flags) {
    Close();
    m_error.clear();
    m_inUse = false;
    m_path = Path;
    m_group.clear();
    m_committed.clear();
    // The journal holds the addresses the user crawls: the user's business alone. Nothing is
    // cut before the lock is held: the file may be another process's live journal.
    m_fd = ::open(Path.c_str(), Flags | O_WRONLY | O_CLOEXEC, 0600);
    if (m_fd < 0) return Fail("cannot create journal " + Path, errno);
    struct flock lock = WholeFile();
    while (::fcntl(m_fd, F_OFD_SETLK, &lock) != 0) {
        if (errno == EAGAIN || errno == EACCES) return RefuseInUse();
        if (errno != EINTR) return Fail("cannot lock journal " + Path, errno);
    }
    m_lastSync = std::chrono::steady_clock::now();
    return true;
}

bool TRunJournal::RefuseInUse() {
    ::close(m_fd);
    m_fd = -1;
    m_inUse = true;
    m_error = "journal " + m_path + " is in use by another process";
    return false;
}

bool TRunJournal::FileInUse(const std::string& Path) {
    const int fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    // Only asks: a lock taken to test would make a journal opened meanwhile fail as in use.
    struct flock lock = WholeFile();
    const bool inUse = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return inUse;
}

bool TRunJournal::Create(const std::string& Path) {
    if (!Open(Path, O_CREAT)) return false;
    if (::ftruncate(m_fd, 0) != 0) return Fail("cannot create journal " + Path, errno);
    m_written = 0;
    m_started = 0;
    // Version 2: visited flags carry depths and states, host records robots.txt requests, a
    // failed entry its reason, and entries may be fetched again. Version 3: entries may be
    // sitemap files, and the settings hold SeekSitemaps. Journals of versions 1 and 2 are read
    // as before.
    Add('J', {"tarnwick-journal", "3", TARNWICK_VERSION});
    Commit();
    return Sync(true);
}

bool TRunJournal::Continue(const std::string& Path, std::int64_t SoundBytes,
                           std::int64_t FileBytes) {
    if (!Open(Path, 0)) return false;
    // Another process wrote it between its reading and this lock: what was read is stale.
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) return Fail("cannot write journal " + Path, errno);
    if (info.st_size != FileBytes) return RefuseInUse();
    if (::ftruncate(m_fd, SoundBytes) != 0 || ::lseek(m_fd, SoundBytes, SEEK_SET) < 0)
        return Fail("cannot write journal " + Path, errno);
    m_written = SoundBytes;
    m_started = SoundBytes;
    return true;
}

void TRunJournal::Add(char Kind, std::initializer_list<std::string_view> Fields) {
    if (m_fd < 0) return;
    AppendJournalRecord(m_group, Kind, Fields);
}

void TRunJournal::Add(char Kind, const std::vector<std::string>& Fields) {
    if (m_fd < 0) return;
    AppendJournalRecord(m_group, Kind, Fields);
}

void TRunJournal::Commit() {
    if (m_fd < 0 || m_group.empty()) return;
    AppendJournalRecord(m_group, 'K', {});
    m_committed += m_group;
    m_group.clear();
    if (m_committed.size() >= kWriteBytes) Flush();
}

void TRunJournal::AddAlone(char Kind, const std::vector<std::string>& Fields) {
    if (m_fd < 0) return;
    AppendJournalRecord(m_committed, Kind, Fields);
    AppendJournalRecord(m_committed, 'K', {});
}

void TRunJournal::Abort() {
    m_group.clear();
}

bool TRunJournal::Flush() {
    if (m_fd < 0) return m_error.empty();
    std::size_t done = 0;
    while (done < m_committed.size()) {
        const ssize_t n = Write(m_fd, m_committed.data() + done, m_committed.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            // Cutting the partial group off keeps the file's end clean; should that fail too, a
            // reader still ignores a group without its commit.
            [[maybe_unused]] const int cut = ::ftruncate(m_fd, m_written);
            return Fail("cannot write journal " + m_path, error);
        }
        done += static_cast<std::size_t>(n);
    }
    m_written += static_cast<std::int64_t>(done);
    m_unsynced = m_unsynced || done > 0;
    m_committed.clear();
    // Starts writing the new part to the disk without waiting for it, so that the syncs, the
    // one at the run's end above all, find little left to do. Only a hint: errors do not matter.
    if (m_written - m_started >= kStartWriteBytes) {
        [[maybe_unused]] const int hinted =
            ::sync_file_range(m_fd, m_started, m_written - m_started, SYNC_FILE_RANGE_WRITE);
        m_started = m_written;
    }
    return true;
}

bool TRunJournal::Sync(bool Force) {
    if (!Flush()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (!m_unsynced || (!Force && now - m_lastSync < kSyncInterval)) return true;
    m_lastSync = now;
    m_unsynced = false;
    if (::fdatasync(m_fd) != 0) return Fail("cannot write journal " + m_path, errno);
    return true;
}

void TRunJournal::Close() {
    if (m_fd < 0) return;
    Sync(true);
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

bool TRunJournal::Fail(const std::string& What, int ErrorNumber) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_group.clear();
    m_committed.clear();
    if (m_error.empty())
        m_error = What + ": " + std::strerror(ErrorNumber != 0 ? ErrorNumber : EIO);
    return false;
}
