#pragma once
// The threads of this process now, as the kernel counts them, and those of them that are the
// engine's own (named "tarnwick-..."), which a test can count whatever other threads its
// libraries start or end meanwhile.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

// A sanitizer's runtime starts a thread of its own with the first one: that happens here first,
// so that it is counted from the start.
inline int ThreadCount() {
    std::thread([] {}).join();
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + 8);
    return 0;
}

inline int EngineThreadCount() {
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name.rfind("tarnwick-", 0) == 0) ++count;
    }
    return count;
}
