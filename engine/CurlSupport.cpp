#include "CurlSupport.h"

TCurlGlobal::TCurlGlobal() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}
TCurlGlobal::~TCurlGlobal() {
    curl_global_cleanup();
}

TFetchLimits& FetchLimits() {
    static TFetchLimits limits;
    return limits;
}

TCurlEasy MakeEasyHandle(const TFetchLimits& limits) {
    TCurlEasy easy(curl_easy_init());
    if (!easy) return easy;
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, limits.MaxRedirects);
    // Credentials given for one host are never sent to another one after a redirect.
    curl_easy_setopt(h, CURLOPT_UNRESTRICTED_AUTH, 0L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, limits.ConnectTimeoutSec);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, limits.LowSpeedTimeSec);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!limits.CaFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, limits.CaFile.c_str());
    // Only the target server's own answer is judged, never a proxy tunnel's.
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // No Accept-Encoding: the body cap counts the bytes that are kept.
    return easy;
}

TCurlMulti MakeMultiHandle() {
    TCurlMulti multi(curl_multi_init());
    if (multi) curl_multi_setopt(multi.get(), CURLMOPT_MAXCONNECTS, 2L);
    return multi;
}

std::string TakeCurlString(char* s) {
    TCurlString owner(s);
    return s ? std::string(s) : std::string();
}
