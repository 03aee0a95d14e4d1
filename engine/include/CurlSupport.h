#pragma once
// RAII owners of libcurl handles, the process-wide libcurl set-up, and the one factory that
// configures every transfer of the engine.

#include <curl/curl.h>

#include <cstddef>
#include <memory>
#include <string>

#include "FetchFailure.h"

struct TCurlEasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct TCurlMultiDeleter {
    void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct TCurlUrlDeleter {
    void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
struct TCurlSlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct TCurlStringDeleter {
    void operator()(char* s) const { curl_free(s); }
};

using TCurlEasy = std::unique_ptr<CURL, TCurlEasyDeleter>;
using TCurlMulti = std::unique_ptr<CURLM, TCurlMultiDeleter>;
using TCurlUrl = std::unique_ptr<CURLU, TCurlUrlDeleter>;
using TCurlSlist = std::unique_ptr<curl_slist, TCurlSlistDeleter>;
using TCurlString = std::unique_ptr<char, TCurlStringDeleter>;

// Initialises libcurl for the process. Exactly one object lives in each main(), created before
// any thread starts and destroyed after every thread has ended.
class TCurlGlobal {
public:
    TCurlGlobal();
    ~TCurlGlobal();
    TCurlGlobal(const TCurlGlobal&) = delete;
    TCurlGlobal& operator=(const TCurlGlobal&) = delete;
};

// Limits that every download obeys. The defaults are those of a desktop crawler; tests shorten
// them. Change them only while no download runs: a worker copies them when it is created.
struct TFetchLimits {
    long ConnectTimeoutSec = 60;
    long LowSpeedTimeSec = 60;  // a transfer below 1 byte/s for this long fails
    long MaxRedirects = 20;     // hops of one download, followed by libcurl or by the scheduler
    std::size_t MaxBodyBytes = std::size_t{64} * 1024 * 1024;  // of a page as decoded
    // Bodies of all downloads at once: each may grow to SmallBodyBytes freely; larger ones share
    // BodyBudgetBytes, in places of MaxBodyBytes (see TBodyBudget).
    std::size_t SmallBodyBytes = std::size_t{1} * 1024 * 1024;
    std::size_t BodyBudgetBytes = std::size_t{256} * 1024 * 1024;
    std::string CaFile;  // certificate authorities for https; empty means the system store
};

// The engine-wide limits (GUI thread only).
TFetchLimits& FetchLimits();

// Creates an easy handle with everything that must hold for every transfer: no signals, the
// time-outs, http and https only (also for redirects), the redirect limit for a download that
// lets libcurl follow them (redirects are not followed otherwise), HTTP/1.0, compressed
// answers (gzip, deflate, br, zstd, decoded by libcurl) and certificate verification. Returns an
// empty pointer when libcurl cannot make a handle.
TCurlEasy MakeEasyHandle(const TFetchLimits& limits);
// The same settings on a handle that curl_easy_reset has emptied, to use it again.
void SetEasyDefaults(CURL* h, const TFetchLimits& limits);

// Creates the multi handle that a download slot's workers use one after another. It keeps the
// slot's idle connections (at most two, so a slot that changes servers now and then still finds
// its connection) and its name cache. Returns an empty pointer when libcurl cannot make one.
TCurlMulti MakeMultiHandle();

// The reason behind a transfer's result Code; OsErrno is the transfer's CURLINFO_OS_ERRNO, which
// tells a refused connection from an unreachable host and a reset from other receive errors.
// CURLE_UNSUPPORTED_PROTOCOL is a refused scheme: the caller knows when it was a bad answer.
TFetchFailure FailureOfCurl(CURLcode Code, long OsErrno);

// Text of a libcurl string result, or empty; frees the libcurl string.
std::string TakeCurlString(char* s);
