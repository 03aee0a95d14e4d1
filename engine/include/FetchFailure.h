#pragma once
// Why a URL could not be fetched, as the crawler tells its owner (THttpScan::OnFetchFailed):
// what the download met on its way (libcurl's own reason, or a rule of the fetch), or the status
// of an answer that is not a page. The words of FetchFailureText are stable: the command line
// writes them and its manual lists each once.

#include <string>

enum class TFetchFailure : unsigned char {
    None,               // nothing failed (also a stopped download: nothing is reported)
    HostNotFound,       // the host name does not resolve
    ProxyNotFound,      // the proxy's name does not resolve
    ConnectionRefused,  // nothing listens on the port
    CannotConnect,      // no connection for another reason (no route, network down)
    TimedOut,           // TimeOut, the connect time-out, or a transfer that stalled
    ConnectionReset,    // the server broke the connection
    EmptyReply,         // the server closed the connection without an answer
    CutShort,           // the connection ended before the announced length
    NetworkError,       // any other failure to send or receive
    RedirectLoop,       // the redirects came back to an address already asked for
    TooManyRedirects,   // more redirects than allowed (20; 5 for a robots.txt)
    RefusedScheme,      // a redirect (or the URL) to another scheme than http or https
    TlsError,           // no secure connection: handshake or certificate refused
    BadAnswer,          // no readable HTTP answer, or a body that cannot be decoded
    TooLarge,           // headers or body beyond the size limit
    NoContentType,      // an answer without a Content-Type header
    EmptyBody,          // a page of 0 bytes
    LoginRequired,      // a 401, and no credentials for this server
    LoginRefused,       // a 401 again after the credentials were sent
    ProxyLoginRefused,  // a 407 again after the proxy credentials were sent
    HttpStatus,         // the answer's status is the reason (404, 503, 204, ...)
    InternalError,      // no thread or transfer handle could be made
    // InternalError stays last: tests walk the reasons up to it.
};

// "host not found", "timed out", ...; for HttpStatus "HTTP status " and Status ("HTTP status
// 404"); "" for None.
std::string FetchFailureText(TFetchFailure Reason, int Status);
