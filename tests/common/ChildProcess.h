#pragma once
// A child process started with posix_spawn, its stdin and stdout on pipes, its stderr shared
// with the test. Qt's QProcess is not used for servers: it starts children in a way that
// ThreadSanitizer cannot follow, which leaves the detector blind to the test thread's locks for
// the rest of the process and makes it report races that are none.

#include <sys/types.h>
#include <string>
#include <vector>

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts Program with Args; false (and a reason in Error) when it cannot be started.
    bool Start(const std::string& Program, const std::vector<std::string>& Args);
    // Reads one line of the child's output (without its line end); false at the end of its
    // output or after TimeoutMs.
    bool ReadLine(std::string& Line, int TimeoutMs);
    // Closes the child's stdin, asks it to end (SIGTERM), then kills it after 5 s.
    void Stop();
    bool Running() const { return m_pid > 0; }
    const std::string& Error() const { return m_error; }

private:
    pid_t m_pid = -1;
    int m_stdin = -1;   // our end of the child's stdin
    int m_stdout = -1;  // our end of the child's stdout
    std::string m_buffer;
    std::string m_error;
};
