#include "TUrlOverflow.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Encoded entries are written in batches of about this size, and read back in chunks of it.
// Small: the two buffers are all the memory the spilled entries cost.
constexpr std::size_t kBatchBytes = 16 * 1024;
// The part of the spill file already read back is given back to the file system in steps of
// this size: a long crawl whose backlog never quite empties keeps a file of what still waits.
constexpr std::int64_t kReleaseBytes = 1024 * 1024;

// One entry in the file: the two text lengths, the three numbers, the three bytes, the entry's
// number, the texts.
struct TRecordHead {
    std::uint32_t UrlLength;
    std::uint32_t ReferrerLength;
    std::int32_t CountArea;
    std::int32_t RetryCount;
    std::int32_t Depth;
    unsigned char FetchMode;
    unsigned char TagKind;
    unsigned char Priority;
    std::uint64_t Id;
};
constexpr std::size_t kHeadBytes = 5 * 4 + 3 + 8;
// The referrer length of an entry found on the same page as the one before it: every link of a
// page has the page as its referrer, so it is written once, not once per link.
constexpr std::uint32_t kSameReferrer = 0xFFFFFFFF;

// LastReferrer: the referrer of the entry written before, updated.
void Encode(const TUrlOverflow::TEntry& Entry, std::string& Out, std::string& LastReferrer) {
    const TUrlObject& o = Entry.Object;
    const bool same = o.Referrer == LastReferrer;
    const TRecordHead head{static_cast<std::uint32_t>(Entry.Url.size()),
                           same ? kSameReferrer : static_cast<std::uint32_t>(o.Referrer.size()),
                           o.CountArea,
                           o.RetryCount,
                           o.Depth,
                           o.FetchMode,
                           o.TagKind,
                           static_cast<unsigned char>(o.Priority ? 1 : 0),
                           o.Id};
    char bytes[kHeadBytes];
    std::memcpy(bytes, &head.UrlLength, 4);
    std::memcpy(bytes + 4, &head.ReferrerLength, 4);
    std::memcpy(bytes + 8, &head.CountArea, 4);
    std::memcpy(bytes + 12, &head.RetryCount, 4);
    std::memcpy(bytes + 16, &head.Depth, 4);
    bytes[20] = static_cast<char>(head.FetchMode);
    bytes[21] = static_cast<char>(head.TagKind);
    bytes[22] = static_cast<char>(head.Priority);
    std::memcpy(bytes + 23, &head.Id, 8);
    Out.append(bytes, kHeadBytes);
    Out += Entry.Url;
    if (same) return;
    Out += o.Referrer;
    LastReferrer = o.Referrer;
}

// Decodes the record at Data; the bytes it took, or 0 when Size does not hold all of it (Needed
// then tells how many it takes). LastReferrer: the referrer of the entry read before, updated.
std::size_t Decode(const char* Data, std::size_t Size, TUrlOverflow::TEntry& Out,
                   std::size_t& Needed, std::string& LastReferrer) {
    Needed = kHeadBytes;
    if (Size < kHeadBytes) return 0;
    TRecordHead head{};
    std::memcpy(&head.UrlLength, Data, 4);
    std::memcpy(&head.ReferrerLength, Data + 4, 4);
    const bool same = head.ReferrerLength == kSameReferrer;
    Needed = kHeadBytes + std::size_t{head.UrlLength} + (same ? 0 : head.ReferrerLength);
    if (Size < Needed) return 0;
    TUrlObject& o = Out.Object;
    std::memcpy(&o.CountArea, Data + 8, 4);
    std::memcpy(&o.RetryCount, Data + 12, 4);
    std::memcpy(&o.Depth, Data + 16, 4);
    o.FetchMode = static_cast<TFetchMode>(static_cast<unsigned char>(Data[20]));
    o.TagKind = static_cast<TTagKind>(static_cast<unsigned char>(Data[21]));
    o.Priority = Data[22] != 0;
    std::memcpy(&o.Id, Data + 23, 8);
    Out.Url.assign(Data + kHeadBytes, head.UrlLength);
    if (same) {
        o.Referrer = LastReferrer;
    } else {
        o.Referrer.assign(Data + kHeadBytes + head.UrlLength, head.ReferrerLength);
        LastReferrer = o.Referrer;
    }
    return Needed;
}

std::unique_ptr<TSpillFile> OpenTemporary(const std::string& Folder, std::string& Error) {
    std::string folder = Folder;
    if (folder.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        folder = tmp && *tmp ? tmp : "/tmp";
    }
    // mkstemp makes it new and readable by the user alone: the queued addresses are the user's
    // business. Plain system calls: the file is written once and read once, in batches.
    std::string path = folder + "/tarnwick-queue-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd >= 0) {
        // Used through its descriptor alone: without a name it is gone with the process,
        // however the process ends.
        ::unlink(path.c_str());
        return std::make_unique<TSpillFile>(fd, std::move(path));
    }
    Error = "cannot create overflow file in " + folder + ": " + std::strerror(errno);
    return nullptr;
}

}  // namespace

TSpillFile::~TSpillFile() {
    if (Fd >= 0) ::close(Fd);
}

TUrlOverflow::TUrlOverflow() : OpenSpill(OpenTemporary) {}

TUrlOverflow::~TUrlOverflow() = default;

bool TUrlOverflow::Add(TEntry Entry) {
    if (m_spilled == 0 && m_head.size() < static_cast<std::size_t>(std::max(Budget, 1))) {
        m_head.push_back(std::move(Entry));
        return true;
    }
    // Room for a batch and the entry that passes it, so the buffer does not double.
    if (m_tail.capacity() < kBatchBytes) m_tail.reserve(kBatchBytes + 1024);
    Encode(Entry, m_tail, m_writtenReferrer);
    ++m_spilled;
    ++m_spillTotal;
    return m_tail.size() < kBatchBytes || WriteTail();
}

bool TUrlOverflow::Take(TEntry& Out) {
    if (m_head.empty() && (m_spilled == 0 || !ReadBack())) return false;
    Out = std::move(m_head.front());
    m_head.pop_front();
    return true;
}

void TUrlOverflow::Clear() {
    m_head.clear();
    std::string().swap(m_tail);
    std::string().swap(m_chunk);
    m_spilled = 0;
    m_spillTotal = 0;
    m_readPos = m_fileEnd = m_released = 0;
    m_writtenReferrer.clear();
    m_readReferrer.clear();
    m_file.reset();
    m_error.clear();
}

std::int64_t TUrlOverflow::SpillBytesHeld() const {
    struct stat info {};
    if (!m_file || ::fstat(m_file->Fd, &info) != 0) return 0;
    return static_cast<std::int64_t>(info.st_blocks) * 512;
}

std::string TUrlOverflow::SpillPath() const {
    return m_file ? m_file->Path : std::string();
}

bool TUrlOverflow::Fail(const std::string& What, int ErrorNumber) {
    if (m_error.empty())
        m_error = What + " overflow file " + SpillPath() + ": " +
                  std::strerror(ErrorNumber != 0 ? ErrorNumber : EIO);
    return false;
}

bool TUrlOverflow::WriteTail() {
    if (m_tail.empty()) return true;
    if (!m_file) {
        m_file = OpenSpill(Folder, m_error);
        if (!m_file) return false;
    }
    const int fd = m_file->Fd;
    for (std::size_t done = 0; done < m_tail.size();) {
        const ssize_t n = ::pwrite(fd, m_tail.data() + done, m_tail.size() - done,
                                   static_cast<off_t>(m_fileEnd) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail("cannot write", n < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    m_fileEnd += static_cast<std::int64_t>(m_tail.size());
    m_tail.clear();
    return true;
}

bool TUrlOverflow::ReadBack() {
    if (!WriteTail()) return false;
    const std::size_t budget = static_cast<std::size_t>(std::max(Budget, 1));
    const int fd = m_file->Fd;
    std::size_t want = kBatchBytes;
    while (m_spilled > 0 && m_head.size() < budget) {
        want = std::min(want, static_cast<std::size_t>(m_fileEnd - m_readPos));
        m_chunk.resize(want);
        const ssize_t got = ::pread(fd, m_chunk.data(), want, static_cast<off_t>(m_readPos));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return Fail("cannot read", got < 0 ? errno : EIO);
        std::size_t used = 0;
        std::size_t needed = 0;
        TEntry entry;
        while (m_spilled > 0 && m_head.size() < budget) {
            const std::size_t n =
                Decode(m_chunk.data() + used, static_cast<std::size_t>(got) - used, entry, needed,
                       m_readReferrer);
            if (n == 0) break;
            used += n;
            --m_spilled;
            m_head.push_back(std::move(entry));
        }
        // A record longer than the chunk is read whole on the next round; one that reaches
        // past the end of what was written cannot be.
        if (used == 0 && (needed <= static_cast<std::size_t>(got) ||
                          m_readPos + static_cast<std::int64_t>(needed) > m_fileEnd))
            return Fail("cannot read", EIO);
        want = std::max(kBatchBytes, needed);
        m_readPos += static_cast<std::int64_t>(used);
    }
    // Everything has come back: the file goes, and the next spill starts a new one.
    if (m_spilled == 0) {
        m_file.reset();
        m_readPos = m_fileEnd = m_released = 0;
        m_writtenReferrer.clear();
        m_readReferrer.clear();
        std::string().swap(m_tail);
        std::string().swap(m_chunk);
    } else {
        ReleaseRead();
    }
    return true;
}

void TUrlOverflow::ReleaseRead() {
    const std::int64_t upTo = m_readPos / kReleaseBytes * kReleaseBytes;
    if (!m_canRelease || upTo - m_released < kReleaseBytes) return;
    // Space only: offsets stay as they are. A file system that cannot punch holes keeps the
    // space until the file is drained, as before.
    if (::fallocate(m_file->Fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                    static_cast<off_t>(m_released), static_cast<off_t>(upTo - m_released)) == 0)
        m_released = upTo;
    else
        m_canRelease = false;
}
