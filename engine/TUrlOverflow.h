#pragma once
// Where queue entries wait while the scheduler's queue is full: first in, first out, like the
// queue itself. The oldest entries (up to Budget) are kept in memory; beyond that, entries are
// appended to a spill file that is read back in order as the memory part drains. The file is a
// private temporary file whose name is removed as soon as it is made, so that no process, and
// no crash, leaves it behind; it is closed when the store is emptied or cleared and at
// destruction. A run journal keeps what must survive a crash.
// GUI thread only, owned by the scheduler.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "TUrlInQueue.h"

// An open spill file, closed at destruction. Path names it in messages; it need not exist.
struct TSpillFile {
    TSpillFile(int Descriptor, std::string FilePath) : Fd(Descriptor), Path(std::move(FilePath)) {}
    ~TSpillFile();
    TSpillFile(const TSpillFile&) = delete;
    TSpillFile& operator=(const TSpillFile&) = delete;

    int Fd;
    std::string Path;
};

class TUrlOverflow {
public:
    using TEntry = TUrlInQueue::Entry;
    // Creates the spill file in Folder (empty: $TMPDIR, else /tmp), open for reading and
    // writing; null with Error set when it cannot. Replaceable so that tests can hand in a file
    // on a full disk.
    using TOpener =
        std::function<std::unique_ptr<TSpillFile>(const std::string& Folder, std::string& Error)>;

    TUrlOverflow();
    ~TUrlOverflow();
    TUrlOverflow(const TUrlOverflow&) = delete;
    TUrlOverflow& operator=(const TUrlOverflow&) = delete;

    int Count() const { return static_cast<int>(m_head.size()) + m_spilled; }
    bool Empty() const { return Count() == 0; }
    // Appends Entry. False when the spill file could not take it; Error() then says why and the
    // entry is lost (the caller stops the run).
    bool Add(TEntry Entry);
    // Takes the oldest entry. False when the store is empty, or when the spill file could not be
    // read back (Error() set).
    bool Take(TEntry& Out);
    // Drops every entry and removes the spill file; the error is forgotten.
    void Clear();

    // Why the spill file failed ("cannot write ...: No space left on device"); empty when not.
    const std::string& Error() const { return m_error; }
    // The spill file's path while one exists, else empty.
    std::string SpillPath() const;
    // Entries ever written to a spill file since the last Clear.
    int SpillCount() const { return m_spillTotal; }
    // Disk space the spill file takes now, in bytes (0 without one). Entries read back give
    // their space back as reading goes on, so this follows what still waits, not what ever did.
    std::int64_t SpillBytesHeld() const;

    // Entries kept in memory before the rest spills to the file. Beside the queue's own limit
    // (5000 by default) a large budget would keep a whole level of a big site in memory and
    // save nothing over an unlimited queue.
    int Budget = 1000;
    std::string Folder;  // where the spill file is made; empty: the system's temporary folder
    TOpener OpenSpill;

private:
    bool Fail(const std::string& What, int ErrorNumber);
    bool WriteTail();
    bool ReadBack();
    void ReleaseRead();

    std::deque<TEntry> m_head;  // the oldest entries
    std::string m_tail;         // newer entries, encoded, not yet written to the file
    std::string m_chunk;        // what was last read back
    int m_spilled = 0;          // entries in the file and in m_tail, not yet read back
    int m_spillTotal = 0;
    std::int64_t m_readPos = 0;   // where the next unread entry of the file starts
    std::int64_t m_fileEnd = 0;   // where the next batch is written
    std::int64_t m_released = 0;  // the file's space up to here is given back
    bool m_canRelease = true;     // the file system gives space back (punches holes)
    // The referrers of the last entry written to and read from the file: a run of entries of
    // one page stores it once.
    std::string m_writtenReferrer, m_readReferrer;
    std::unique_ptr<TSpillFile> m_file;
    std::string m_error;
};
