#pragma once
// Writes a run journal: an append-only file of records (see JournalRecord.h) from which an
// interrupted crawl can be continued. Records are gathered in a group that becomes valid only
// with its commit record, so a reader never sees half of a page's effects; committed groups are
// written out by Flush and made durable (fdatasync) by Sync. A failed write cuts the file back
// to its last whole group and closes it: what is there stays readable. An open journal holds an
// advisory write lock on its whole file (fcntl F_OFD_SETLK), so that no other process continues
// or replaces it meanwhile. GUI thread only.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

class TRunJournal {
public:
    // write(2) by default; tests hand in one that fails like a full disk.
    using TWriter = std::function<ssize_t(int Fd, const void* Data, std::size_t Size)>;

    TRunJournal();
    // Syncs and closes.
    ~TRunJournal();
    TRunJournal(const TRunJournal&) = delete;
    TRunJournal& operator=(const TRunJournal&) = delete;

    // A new journal at Path (an old file is replaced), readable by its owner only, with its
    // header written through. False with Error set when it cannot be made.
    bool Create(const std::string& Path);
    // Continues the journal at Path after its first SoundBytes bytes; what follows them (a torn
    // or damaged tail) is cut off first. FileBytes is the file's length when it was read: a
    // file of another length was written since, and is left alone as one in use.
    bool Continue(const std::string& Path, std::int64_t SoundBytes, std::int64_t FileBytes);
    bool IsOpen() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }
    // Why the journal could not be made or written ("cannot write journal PATH: reason").
    const std::string& Error() const { return m_error; }
    // The last Create or Continue was refused, the file untouched, because another process
    // has it open as a journal.
    bool InUse() const { return m_inUse; }
    // Whether another process has the journal at Path open now. Changes nothing.
    static bool FileInUse(const std::string& Path);

    // Adds a record to the open group.
    void Add(char Kind, std::initializer_list<std::string_view> Fields);
    void Add(char Kind, const std::vector<std::string>& Fields);
    // Closes the open group with a commit record; it is written at the next Flush.
    void Commit();
    // A record that is a group of its own, whatever the open group holds.
    void AddAlone(char Kind, const std::vector<std::string>& Fields);
    // Forgets the records of the open group.
    void Abort();
    // Writes the committed groups. False once a write has failed.
    bool Flush();
    // Flush, then fdatasync when Force or when the last sync is a second old.
    bool Sync(bool Force);
    void Close();

    TWriter Write;

private:
    bool Fail(const std::string& What, int ErrorNumber);
    bool Open(const std::string& Path, int Flags);
    bool RefuseInUse();

    int m_fd = -1;
    std::string m_path;
    std::string m_group;      // records of the open group
    std::string m_committed;  // whole groups not yet written
    std::int64_t m_written = 0;
    std::int64_t m_started = 0;  // written out up to here, or asked to be
    std::chrono::steady_clock::time_point m_lastSync{};
    bool m_unsynced = false;
    bool m_inUse = false;
    std::string m_error;
};
