#pragma once
// Which start URLs of a list one of N processes crawls (--shard I/N): those whose site hashes to
// it, so that N processes on N machines share one list without overlap and every page of a site
// is fetched by one process. Pure functions; any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Shard Index of Count, 1 <= Index <= Count.
struct TShard {
    int Index = 1;
    int Count = 1;
};

// 64-bit FNV-1a of Bytes.
std::uint64_t Fnv1a64(std::string_view Bytes);

// What a start URL is shared out by: its registrable domain as the crawler's same-site test
// takes it, case-folded, in its punycode form. Empty when the crawler would refuse the URL.
std::string ShardKey(const std::string& Url);

// The shard of a key among Count: FNV-1a modulo Count, plus one.
int ShardOfKey(std::string_view Key, int Count);

// The entries of List that fall to Shard, in their order. An empty entry (crawl the previous URL
// again) goes with the entry before it; an entry the crawler would refuse goes to every shard,
// so that each reports it.
std::vector<std::string> TakeShard(const std::vector<std::string>& List, TShard Shard);
