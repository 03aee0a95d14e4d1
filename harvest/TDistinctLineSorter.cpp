#include "TDistinctLineSorter.h"

#include <QCollator>
#include <QFile>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <queue>

#include "HarvestText.h"

namespace {

struct TFileCloser {
    void operator()(std::FILE* File) const { std::fclose(File); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

// What a kept line costs beyond its bytes: the string itself and the allocator's share.
constexpr std::size_t kLineOverhead = sizeof(std::string) + 16;
constexpr std::size_t kRunBufferBytes = 64 * 1024;
constexpr std::size_t kMaxRuns = 64;

// A run holds each line as its length (8 bytes, this machine's order) and its bytes, so a line
// may hold any byte, line ends included.
bool WriteRecord(std::FILE* File, std::string_view Line) {
    const std::uint64_t size = Line.size();
    return std::fwrite(&size, sizeof size, 1, File) == 1 &&
           std::fwrite(Line.data(), 1, Line.size(), File) == Line.size();
}

enum class TRead { Line, End, Failed };

TRead ReadRecord(std::FILE* File, std::string& Line) {
    std::uint64_t size = 0;
    if (std::fread(&size, sizeof size, 1, File) != 1)
        return std::ferror(File) ? TRead::Failed : TRead::End;
    Line.resize(static_cast<std::size_t>(size));
    if (std::fread(Line.data(), 1, Line.size(), File) != Line.size()) return TRead::Failed;
    return TRead::Line;
}

std::string Reason(const std::string& What, const std::string& Name, int ErrorNumber) {
    return What + " " + Name + ": " + std::strerror(ErrorNumber != 0 ? ErrorNumber : EIO);
}

using TPut = std::function<bool(std::string_view Line)>;

// Writes the lines that Fill puts to a new run file Path. False when Fill stops or the file
// cannot be written; then no file is left, and Error says why unless Fill said it already.
bool WriteRunFile(const std::string& Path, const std::function<bool(const TPut& Put)>& Fill,
                  std::string& Error) {
    errno = 0;
    TFile file(std::fopen(Path.c_str(), "wb"));
    if (!file) {
        Error = Reason("cannot write", Path, errno);
        return false;
    }
    bool written = true;
    const bool filled = Fill([&](std::string_view Line) {
        written = WriteRecord(file.get(), Line);
        return written;
    });
    errno = 0;
    written = written && std::fflush(file.get()) == 0;
    const int failure = errno;
    if (std::fclose(file.release()) == 0 && written && filled) return true;
    if (Error.empty()) Error = Reason("cannot write", Path, failure != 0 ? failure : errno);
    std::remove(Path.c_str());
    return false;
}

// The next line of one source of the merge: a run file, or the lines still in memory.
struct THead {
    QString Text;
    std::string Bytes;
    std::size_t Source = 0;
};

}  // namespace

TDistinctLineSorter::TDistinctLineSorter(std::string Folder, std::size_t BudgetBytes)
    : m_folder(std::move(Folder)), m_budget(BudgetBytes) {}

TDistinctLineSorter::~TDistinctLineSorter() = default;

bool TDistinctLineSorter::Add(std::string_view Line) {
    m_lines.emplace_back(Line);
    m_bytes += Line.size() + kLineOverhead;
    if (m_bytes < m_budget || !m_error.empty()) return m_error.empty();
    return WriteRun();
}

bool TDistinctLineSorter::WriteRun() {
    if (!m_dir) {
        auto dir = std::make_unique<QTemporaryDir>(QFile::decodeName(m_folder.c_str()) +
                                                   QStringLiteral("/tarnwick-sort-XXXXXX"));
        if (!dir->isValid()) {
            // The lines stay in memory: the harvest stays whole, only larger.
            m_error = "cannot write a temporary folder in " + m_folder + ": " +
                      dir->errorString().toStdString();
            return false;
        }
        m_dir = std::move(dir);
    }
    std::vector<std::string> sorted = SortedDistinctLines(std::move(m_lines));
    m_lines.clear();
    m_bytes = 0;
    const std::string path = NextRunPath();
    const bool written = WriteRunFile(
        path,
        [&](const TPut& Put) {
            for (const std::string& line : sorted)
                if (!Put(line)) return false;
            return true;
        },
        m_error);
    if (!written) {
        // Nothing is lost: the lines go back to memory.
        m_lines = std::move(sorted);
        for (const std::string& line : m_lines) m_bytes += line.size() + kLineOverhead;
        return false;
    }
    m_runs.push_back(path);
    // Runs are merged into one before they are too many to hold open at once.
    return m_runs.size() < kMaxRuns || MergeRuns();
}

std::string TDistinctLineSorter::NextRunPath() {
    return QFile::encodeName(m_dir->filePath(QStringLiteral("run-%1").arg(m_runCount++)))
        .toStdString();
}

bool TDistinctLineSorter::Finish(const std::function<bool(std::string_view Line)>& Out) {
    std::vector<std::string> last = SortedDistinctLines(std::move(m_lines));
    m_lines.clear();
    m_bytes = 0;
    const bool ok = Merge(last, Out);
    m_dir.reset();  // the runs go with their folder
    m_runs.clear();
    return ok;
}

bool TDistinctLineSorter::MergeRuns() {
    const std::string path = NextRunPath();
    if (!WriteRunFile(
            path, [&](const TPut& Put) { return Merge({}, Put); }, m_error))
        return false;
    for (const std::string& run : m_runs) std::remove(run.c_str());
    m_runs = {path};
    return true;
}

bool TDistinctLineSorter::Merge(std::vector<std::string> Lines,
                                const std::function<bool(std::string_view Line)>& Out) {
    if (m_runs.empty()) {
        for (const std::string& line : Lines)
            if (!Out(line)) return false;
        return true;
    }
    // A k-way merge: each source is sorted and distinct, so a line equal to the one given last
    // is a duplicate from another source.
    const QCollator collator = LineCollator();
    auto after = [&](const THead& A, const THead& B) {
        return CompareLines(collator, A.Text, A.Bytes, B.Text, B.Bytes) > 0;
    };
    std::priority_queue<THead, std::vector<THead>, decltype(after)> heads(after);
    std::vector<TFile> files;
    std::vector<std::vector<char>> buffers;
    std::size_t nextInMemory = 0;
    const std::size_t memorySource = m_runs.size();
    bool ok = true;
    auto advance = [&](std::size_t Source) {
        THead head;
        head.Source = Source;
        if (Source == memorySource) {
            if (nextInMemory >= Lines.size()) return;
            head.Bytes = std::move(Lines[nextInMemory++]);
        } else {
            errno = 0;
            const TRead read = ReadRecord(files[Source].get(), head.Bytes);
            if (read == TRead::End) return;
            if (read == TRead::Failed) {
                m_error = Reason("cannot read", m_runs[Source], errno);
                ok = false;
                return;
            }
        }
        head.Text = TextOfBytes(head.Bytes);
        heads.push(std::move(head));
    };
    for (const std::string& run : m_runs) {
        errno = 0;
        files.emplace_back(std::fopen(run.c_str(), "rb"));
        if (!files.back()) {
            m_error = Reason("cannot read", run, errno);
            return false;
        }
        buffers.emplace_back(kRunBufferBytes);
        std::setvbuf(files.back().get(), buffers.back().data(), _IOFBF, buffers.back().size());
    }
    for (std::size_t k = 0; k <= memorySource; ++k) advance(k);
    std::string previous;
    bool first = true;
    while (ok && !heads.empty()) {
        THead head = heads.top();
        heads.pop();
        if (first || head.Bytes != previous) {
            if (!Out(head.Bytes)) return false;
            previous = head.Bytes;
            first = false;
        }
        advance(head.Source);
    }
    return ok;
}
