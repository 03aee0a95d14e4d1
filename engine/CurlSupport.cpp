#include "CurlSupport.h"

#include <cerrno>

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
    if (easy) SetEasyDefaults(easy.get(), limits);
    return easy;
}

void SetEasyDefaults(CURL* h, const TFetchLimits& limits) {
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Redirects are not followed unless a download asks for it: most go back to the engine, which
    // checks each hop against its server's robots.txt first.
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
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
    // Real servers send a fifth to a tenth of the bytes compressed. libcurl decodes them before
    // the write callback, so the body limits count the page as decoded.
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "gzip, deflate, br, zstd");
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

TFetchFailure FailureOfCurl(CURLcode Code, long OsErrno) {
    switch (Code) {
        case CURLE_OK:
        case CURLE_ABORTED_BY_CALLBACK:
            return TFetchFailure::None;
        case CURLE_COULDNT_RESOLVE_HOST:
            return TFetchFailure::HostNotFound;
        case CURLE_COULDNT_RESOLVE_PROXY:
            return TFetchFailure::ProxyNotFound;
        case CURLE_COULDNT_CONNECT:
            return OsErrno == ECONNREFUSED ? TFetchFailure::ConnectionRefused
                                           : TFetchFailure::CannotConnect;
        case CURLE_OPERATION_TIMEDOUT:
            return TFetchFailure::TimedOut;
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return OsErrno == ECONNRESET || OsErrno == EPIPE ? TFetchFailure::ConnectionReset
                                                             : TFetchFailure::NetworkError;
        case CURLE_GOT_NOTHING:
            return TFetchFailure::EmptyReply;
        case CURLE_PARTIAL_FILE:
            return TFetchFailure::CutShort;
        case CURLE_TOO_MANY_REDIRECTS:
            return TFetchFailure::TooManyRedirects;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return TFetchFailure::RefusedScheme;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_USE_SSL_FAILED:
            return TFetchFailure::TlsError;
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
        case CURLE_HTTP_RETURNED_ERROR:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_RANGE_ERROR:
            return TFetchFailure::BadAnswer;
        case CURLE_FILESIZE_EXCEEDED:
            return TFetchFailure::TooLarge;
        case CURLE_FAILED_INIT:
        case CURLE_OUT_OF_MEMORY:
            return TFetchFailure::InternalError;
        default:
            return TFetchFailure::NetworkError;
    }
}
