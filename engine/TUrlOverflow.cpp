#include "TUrlOverflow.h"

#include <QDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Encoded entries are written in batches of about this size, and read back in chunks of it.
constexpr std::size_t kBatchBytes = 64 * 1024;

// One entry in the file: the two text lengths, the three numbers, the three bytes, the texts.
struct TRecordHead {
    std::uint32_t UrlLength;
    std::uint32_t ReferrerLength;
    std::int32_t CountArea;
    std::int32_t RetryCount;
    std::int32_t Depth;
    unsigned char FetchMode;
    unsigned char TagKind;
    unsigned char Priority;
};
constexpr std::size_t kHeadBytes = 5 * 4 + 3;

void Encode(const TUrlOverflow::TEntry& Entry, std::string& Out) {
    const TUrlObject& o = Entry.Object;
    const TRecordHead head{static_cast<std::uint32_t>(Entry.Url.size()),
                           static_cast<std::uint32_t>(o.Referrer.size()),
                           o.CountArea,
                           o.RetryCount,
                           o.Depth,
                           o.FetchMode,
                           o.TagKind,
                           static_cast<unsigned char>(o.Priority ? 1 : 0)};
    char bytes[kHeadBytes];
    std::memcpy(bytes, &head.UrlLength, 4);
    std::memcpy(bytes + 4, &head.ReferrerLength, 4);
    std::memcpy(bytes + 8, &head.CountArea, 4);
    std::memcpy(bytes + 12, &head.RetryCount, 4);
    std::memcpy(bytes + 16, &head.Depth, 4);
    bytes[20] = static_cast<char>(head.FetchMode);
    bytes[21] = static_cast<char>(head.TagKind);
    bytes[22] = static_cast<char>(head.Priority);
    Out.append(bytes, kHeadBytes);
    Out += Entry.Url;
    Out += o.Referrer;
}

// Decodes the record at Data; the bytes it took, or 0 when Size does not hold all of it (Needed
// then tells how many it takes).
std::size_t Decode(const char* Data, std::size_t Size, TUrlOverflow::TEntry& Out,
                   std::size_t& Needed) {
    Needed = kHeadBytes;
    if (Size < kHeadBytes) return 0;
    TRecordHead head{};
    std::memcpy(&head.UrlLength, Data, 4);
    std::memcpy(&head.ReferrerLength, Data + 4, 4);
    Needed = kHeadBytes + std::size_t{head.UrlLength} + head.ReferrerLength;
    if (Size < Needed) return 0;
    TUrlObject& o = Out.Object;
    std::memcpy(&o.CountArea, Data + 8, 4);
    std::memcpy(&o.RetryCount, Data + 12, 4);
    std::memcpy(&o.Depth, Data + 16, 4);
    o.FetchMode = static_cast<unsigned char>(Data[20]);
    o.TagKind = static_cast<unsigned char>(Data[21]);
    o.Priority = Data[22] != 0;
    Out.Url.assign(Data + kHeadBytes, head.UrlLength);
    o.Referrer.assign(Data + kHeadBytes + head.UrlLength, head.ReferrerLength);
    return Needed;
}

std::unique_ptr<QFile> OpenTemporary(const std::string& Folder, std::string& Error) {
    const QString folder = Folder.empty() ? QDir::tempPath() : QFile::decodeName(Folder.c_str());
    // Created new and readable by the user alone: the queued addresses are the user's business.
    auto file = std::make_unique<QTemporaryFile>(folder + "/tarnwick-queue-XXXXXX");
    if (file->open()) return file;
    Error = "cannot create overflow file in " + QFile::encodeName(folder).toStdString() + ": " +
            file->errorString().toLocal8Bit().toStdString();
    return nullptr;
}

}  // namespace

TUrlOverflow::TUrlOverflow() : OpenSpill(OpenTemporary) {}

TUrlOverflow::~TUrlOverflow() = default;

bool TUrlOverflow::Add(TEntry Entry) {
    if (m_spilled == 0 && m_head.size() < static_cast<std::size_t>(std::max(Budget, 1))) {
        m_head.push_back(std::move(Entry));
        return true;
    }
    Encode(Entry, m_tail);
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
    m_tail.clear();
    m_tail.shrink_to_fit();
    m_spilled = 0;
    m_spillTotal = 0;
    m_readPos = 0;
    m_atEnd = true;
    m_file.reset();
    m_error.clear();
}

std::string TUrlOverflow::SpillPath() const {
    return m_file ? QFile::encodeName(m_file->fileName()).toStdString() : std::string();
}

bool TUrlOverflow::Fail(const std::string& What) {
    if (m_error.empty())
        m_error = What + " overflow file " + SpillPath() + ": " +
                  m_file->errorString().toLocal8Bit().toStdString();
    return false;
}

bool TUrlOverflow::WriteTail() {
    if (m_tail.empty()) return true;
    if (!m_file) {
        m_file = OpenSpill(Folder, m_error);
        if (!m_file) return false;
    }
    // Append-only: only reading back moves the file position away from the end.
    const auto size = static_cast<qint64>(m_tail.size());
    if ((!m_atEnd && !m_file->seek(m_file->size())) || m_file->write(m_tail.data(), size) != size ||
        !m_file->flush())
        return Fail("cannot write");
    m_atEnd = true;
    m_tail.clear();
    return true;
}

bool TUrlOverflow::ReadBack() {
    if (!WriteTail()) return false;
    const std::size_t budget = static_cast<std::size_t>(std::max(Budget, 1));
    std::string chunk;
    std::size_t want = kBatchBytes;
    while (m_spilled > 0 && m_head.size() < budget) {
        m_atEnd = false;
        if (!m_file->seek(m_readPos)) return Fail("cannot read");
        chunk.resize(want);
        const qint64 got = m_file->read(chunk.data(), static_cast<qint64>(want));
        if (got <= 0) return Fail("cannot read");
        std::size_t used = 0;
        std::size_t needed = 0;
        TEntry entry;
        while (m_spilled > 0 && m_head.size() < budget) {
            const std::size_t n =
                Decode(chunk.data() + used, static_cast<std::size_t>(got) - used, entry, needed);
            if (n == 0) break;
            used += n;
            --m_spilled;
            m_head.push_back(std::move(entry));
        }
        // A record longer than the chunk is read whole on the next round; one cut short by the
        // end of the file cannot be.
        if (used == 0 &&
            (needed <= static_cast<std::size_t>(got) || got < static_cast<qint64>(want)))
            return Fail("cannot read");
        want = std::max(kBatchBytes, needed);
        m_readPos += static_cast<qint64>(used);
    }
    // Everything has come back: the file goes, and the next spill starts a new one.
    if (m_spilled == 0) {
        m_file.reset();
        m_readPos = 0;
        m_atEnd = true;
    }
    return true;
}
