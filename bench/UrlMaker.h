#pragma once
// URLs as a large crawl meets them, for the benchmarks: a few thousand hosts, so comparisons run
// over long common prefixes as they do in a real run, and a random rest so that every URL is
// new. Seeded, so a benchmark makes the same URLs every time.

#include <random>
#include <string>

class UrlMaker {
public:
    explicit UrlMaker(unsigned Seed, std::size_t Length = 60, const char* Ending = "")
        : m_rng(Seed), m_length(Length), m_ending(Ending) {}

    void Next(std::string& Url) {
        Url.assign("http://www.host");
        Url.append(std::to_string(m_rng() % 4000));
        Url.append(".example/");
        static constexpr char kPathChars[] = "abcdefghijklmnopqrstuvwxyz0123456789/-_";
        while (Url.size() < m_length) Url.push_back(kPathChars[m_rng() % (sizeof kPathChars - 1)]);
        Url.append(m_ending);
    }

private:
    std::mt19937_64 m_rng;
    std::size_t m_length;
    const char* m_ending;
};
