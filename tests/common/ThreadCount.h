#pragma once
// The threads of this process now, as the kernel counts them.

#include <cstdlib>
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
