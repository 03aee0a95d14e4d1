#include "StartShard.h"

#include <QString>

#include "TCrackUrl.h"
#include "TNeverCollectList.h"
#include "UrlEncoding.h"

std::uint64_t Fnv1a64(std::string_view Bytes) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : Bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string ShardKey(const std::string& Url) {
    // Split as the crawler splits its start page, so that shards agree with what it crawls.
    TCrackUrl parts;
    if (!parts.Crack(NormalizeUrl(Url))) return {};
    // Bücher.example and xn--bcher-kva.example are one site and must go to one shard.
    return ComparedDomain(QString::fromUtf8(parts.Domain)).toUtf8().toStdString();
}

int ShardOfKey(std::string_view Key, int Count) {
    return static_cast<int>(Fnv1a64(Key) % static_cast<std::uint64_t>(Count)) + 1;
}

std::vector<std::string> TakeShard(const std::vector<std::string>& List, TShard Shard) {
    std::vector<std::string> taken;
    // Before any URL, an empty entry is refused by the crawler: every shard reports it.
    bool previousTaken = true;
    for (const std::string& entry : List) {
        if (!entry.empty()) {
            const std::string key = ShardKey(entry);
            previousTaken = key.empty() || ShardOfKey(key, Shard.Count) == Shard.Index;
        }
        if (previousTaken) taken.push_back(entry);
    }
    return taken;
}
