#pragma once
// The files tarnwick-crawl writes its outputs to (-o, --skipped, --explain), and the check that
// no two of its files are one.

#include <string>
#include <utility>
#include <vector>

// The name that always means this program's standard output, whatever it resolves to.
inline constexpr const char* kStandardOutputName = "/dev/stdout";

// One output file. A regular file, or a name not yet taken, is written under a temporary name
// beside it (NAME.XXXXXX) and takes its name only in Commit, so an old file stays whole until
// the new one is; a symbolic link is followed to its final target, which is written that way
// and keeps the link. Anything else (a device, a pipe, a terminal) is written as it is, never
// replaced, and so is standard output (an empty name, or "/dev/stdout"). Failures name the
// system's reason.
class TOutputFile {
public:
    TOutputFile() = default;
    // Closes the file and removes a temporary file that never took its name.
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // False with Error set when it cannot be written.
    bool Open(const std::string& Name);
    // False once a write has failed.
    bool Write(const char* Data, std::size_t Size);
    // Closes the file and gives it its name; false with Error set on failure.
    bool Commit();
    // "cannot write NAME: reason", NAME as given ("standard output" for the empty name).
    const std::string& Error() const { return m_error; }
    // The temporary file being written; empty once it took its name, or when written in place.
    const std::string& TempName() const { return m_tempName; }

private:
    void Fail(int ErrorNumber);

    int m_fd = -1;
    bool m_ownsFd = false;
    std::string m_name;      // as the user gave it
    std::string m_target;    // the file that takes the temporary file's name
    std::string m_tempName;  // the file written until Commit; empty when written in place
    std::string m_error;
};

// Writes Data to the file Name as TOutputFile does; false with Error set on failure.
bool WriteOutputFile(const std::string& Name, const char* Data, std::size_t Size,
                     std::string& Error);

// An output of one crawl, for SameOutputFile: the option that names it and the name given.
struct TNamedOutput {
    std::string Option;  // as the user would write it: "-o", "--journal", "standard output"
    std::string Name;
    // Written through TOutputFile, so that "" and "/dev/stdout" are this program's standard
    // output itself; else the name is a path that the crawler opens.
    bool Direct = true;
};

// "OPTION and OPTION name one file (NAME)..." for the first two outputs that are one file, else
// "". Files are one when they are the same regular file (same device and inode, through any
// link) or the same path not yet taken. Devices, pipes and terminals are written as they are and
// may be shared, and so may standard output by outputs that all write through it.
std::string SameOutputFile(const std::vector<TNamedOutput>& Outputs);
