#include "FetchFailure.h"

std::string FetchFailureText(TFetchFailure Reason, int Status) {
    switch (Reason) {
        case TFetchFailure::None:
            return "";
        case TFetchFailure::HostNotFound:
            return "host not found";
        case TFetchFailure::ProxyNotFound:
            return "proxy not found";
        case TFetchFailure::ConnectionRefused:
            return "connection refused";
        case TFetchFailure::CannotConnect:
            return "cannot connect";
        case TFetchFailure::TimedOut:
            return "timed out";
        case TFetchFailure::ConnectionReset:
            return "connection reset";
        case TFetchFailure::EmptyReply:
            return "empty reply";
        case TFetchFailure::CutShort:
            return "cut short";
        case TFetchFailure::NetworkError:
            return "network error";
        case TFetchFailure::RedirectLoop:
            return "redirect loop";
        case TFetchFailure::TooManyRedirects:
            return "too many redirects";
        case TFetchFailure::RefusedScheme:
            return "refused scheme";
        case TFetchFailure::TlsError:
            return "TLS error";
        case TFetchFailure::BadAnswer:
            return "bad answer";
        case TFetchFailure::TooLarge:
            return "too large";
        case TFetchFailure::NoContentType:
            return "no content type";
        case TFetchFailure::EmptyBody:
            return "empty body";
        case TFetchFailure::LoginRequired:
            return "login required";
        case TFetchFailure::LoginRefused:
            return "login refused";
        case TFetchFailure::ProxyLoginRefused:
            return "proxy login refused";
        case TFetchFailure::HttpStatus:
            return "HTTP status " + std::to_string(Status);
        case TFetchFailure::InternalError:
            return "internal error";
    }
    return "";
}
