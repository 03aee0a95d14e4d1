#include "THttpThread.h"

#include <pthread.h>

#include <ctime>

#include "TServerPolicy.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>

#include "AsciiCase.h"
#include "PageCharset.h"
#include "PlainUrl.h"
#include "TCrackUrl.h"
#include "THttpGet.h"
#include "TNoticeQueue.h"

namespace {

constexpr std::size_t kMaxReserve = 1024 * 1024;

// Header values travel in request lines: a control byte would let a value add its own headers.
std::string WithoutControlBytes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 32 && c != 127) out.push_back(c);
    return out;
}

// A referrer never carries the user name or password written in the linking page's URL.
std::string WithoutUserInfo(const std::string& url) {
    TCurlUrl h(curl_url());
    const unsigned flags = CURLU_ALLOW_SPACE | CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS;
    if (!h || curl_url_set(h.get(), CURLUPART_URL, url.c_str(), flags) != CURLUE_OK) return url;
    char* user = nullptr;
    char* password = nullptr;
    const bool hasUser = curl_url_get(h.get(), CURLUPART_USER, &user, 0) == CURLUE_OK;
    const bool hasPassword = curl_url_get(h.get(), CURLUPART_PASSWORD, &password, 0) == CURLUE_OK;
    curl_free(user);
    curl_free(password);
    if (!hasUser && !hasPassword) return url;
    curl_url_set(h.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(h.get(), CURLUPART_PASSWORD, nullptr, 0);
    char* clean = nullptr;
    if (curl_url_get(h.get(), CURLUPART_URL, &clean, 0) != CURLUE_OK) return {};
    return TakeCurlString(clean);
}

int ParseStatusLine(std::string_view line) {
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return 0;
    int status = 0;
    for (std::size_t i = space + 1; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        status = status * 10 + (line[i] - '0');
        if (status > 999) return 0;
    }
    return status;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// The value of the first header called Name (given with its colon) in a raw header block.
bool FindHeader(std::string_view headers, std::string_view name, std::string& value) {
    std::size_t pos = 0;
    while (pos < headers.size()) {
        std::size_t end = headers.find('\n', pos);
        if (end == std::string_view::npos) end = headers.size();
        std::string_view line = headers.substr(pos, end - pos);
        if (AsciiStartsWithNoCase(line, name)) {
            value = std::string(Trim(line.substr(name.size())));
            return true;
        }
        pos = end + 1;
    }
    return false;
}

int ParseContentLength(const std::string& text) {
    if (text.empty() || text.size() > 9) return 0;
    int length = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        length = length * 10 + (c - '0');
    }
    return length;
}

bool IsFollowedRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsRedirectFailure(TFetchFailure Failure) {
    return Failure == TFetchFailure::TooManyRedirects || Failure == TFetchFailure::RedirectLoop;
}

}  // namespace

std::string ReferrerFor(const std::string& Referrer, const std::string& Target) {
    // Plain addresses, nearly every request's, are judged without building their parts.
    TPlainUrl plainFrom;
    TPlainUrl plainTo;
    if (!Referrer.empty() && Referrer.back() != '#' && !Target.empty() && Target.back() != '#' &&
        SplitPlainUrl(Referrer, plainFrom) && SplitPlainUrl(Target, plainTo)) {
        if (plainFrom.Scheme == plainTo.Scheme && plainFrom.Port == plainTo.Port &&
            AsciiEqualsNoCase(plainFrom.Host, plainTo.Host))
            return Referrer;
        if (plainFrom.Scheme == "https" && plainTo.Scheme != "https") return {};
        return OriginOf(plainFrom.Scheme, plainFrom.Host, plainFrom.Port) + "/";
    }
    TCrackUrl from;
    TCrackUrl to;
    if (Referrer.empty() || !from.Crack(Referrer) || !to.Crack(Target)) return {};
    if (AsciiLowerCase(OriginOf(from)) == AsciiLowerCase(OriginOf(to)))
        return WithoutUserInfo(Referrer);
    // Over plain http the page's address would travel in the clear.
    if (from.Scheme == "https" && to.Scheme != "https") return {};
    return OriginOf(from) + "/";
}

bool IsPageContentType(std::string_view ContentType) {
    const std::string lower = AsciiLowerCase(ContentType);
    return lower.find("text/html") != std::string::npos ||
           lower.find("application/xhtml+xml") != std::string::npos;
}

void TFetchControl::Terminate() {
    {
        std::lock_guard<std::mutex> guard(Lock);
        Terminated = true;
        if (Multi) curl_multi_wakeup(Multi);
    }
    // A transfer that waits for room in the body budget leaves at once.
    TBodyBudget::Engine().Wake();
}

THttpThread::THttpThread(THttpGet* Slot) : m_slot(Slot), m_queue(TNoticeQueue::Main()) {}

void THttpThread::Give(TFetchRequest Request, std::shared_ptr<TFetchControl> Control) {
    m_busy = true;
    {
        std::lock_guard<std::mutex> guard(m_jobLock);
        m_nextRequest = std::move(Request);
        m_nextControl = std::move(Control);
        m_hasJob = true;
    }
    m_jobReady.notify_one();
    if (m_thread.joinable()) return;  // started with the first download
    try {
        m_thread = std::thread([self = shared_from_this()] { self->Run(); });
    } catch (const std::system_error&) {
        // No thread to spare: the download fails like one that found no server, and the slot
        // retries it as such.
        {
            std::lock_guard<std::mutex> guard(m_jobLock);
            m_hasJob = false;
            m_nextControl.reset();
        }
        ResetOutcome();
        m_success = false;
        m_failure = TFetchFailure::InternalError;
        m_queue->Post([self = shared_from_this()] { self->EndOfWork(); });
    }
}

void THttpThread::Quit() {
    m_slot = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_jobLock);
        m_quit = true;
    }
    m_jobReady.notify_one();
    // A notice the worker waits for would run on this thread, which may be waiting itself.
    {
        std::lock_guard<std::mutex> guard(m_noticeLock);
        m_released = true;
    }
    m_noticeDone.notify_all();
}

void THttpThread::End(std::chrono::milliseconds Bound) {
    Quit();
    if (!m_thread.joinable()) return;
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(m_jobLock);
        ended = m_endedSignal.wait_for(lock, Bound, [this] { return m_ended; });
    }
    if (ended)
        m_thread.join();
    else
        m_thread.detach();
}

void THttpThread::Retire() {
    Quit();
    if (m_thread.joinable()) m_thread.detach();
}

THttpThread::~THttpThread() {
    // Only when its slot never let go (the program ends): the thread may be this very one.
    if (m_thread.joinable()) m_thread.detach();
}

void THttpThread::EndOfWork() {
    m_busy = false;
    // The slot may give the next download from inside its end notice: every result is moved
    // out before that, and nothing here is touched after it.
    TDeliveredPage page;
    if (m_bodyReady)
        page = {std::move(m_body), std::move(m_finalUrl), std::move(m_encoding), std::move(m_place),
                std::move(m_marked)};
    DropBody();
    if (m_slot)
        m_slot->EndNotice(this, m_success, m_skipped, m_failure, m_bodyReady ? &page : nullptr,
                          m_transferred, std::move(m_redirectTo), m_contactAt);
}

void THttpThread::Notify(std::function<void(THttpGet&)> Notice, bool Wait) {
    const std::uint64_t ticket = ++m_noticesSent;
    m_queue->Post([self = shared_from_this(), notice = std::move(Notice)] {
        if (self->m_slot) notice(*self->m_slot);
        {
            std::lock_guard<std::mutex> guard(self->m_noticeLock);
            ++self->m_noticesRun;
        }
        self->m_noticeDone.notify_one();
    });
    if (!Wait) return;
    std::unique_lock<std::mutex> lock(m_noticeLock);
    m_noticeDone.wait(lock, [&] { return m_noticesRun >= ticket || m_released; });
}

void THttpThread::ResetAttempt() {
    m_headers.clear();
    m_contentType.clear();
    DropBody();
    m_status = 0;
    m_hasLocation = false;
    m_gated = false;
    m_authPending = false;
    m_bytesRead = 0;
    m_hops.clear();
    m_redirectLoop = false;
    m_redirectPending = false;
    m_redirect = false;
}

size_t THttpThread::HeaderThunk(char* data, size_t size, size_t count, void* self) {
    return static_cast<THttpThread*>(self)->OnHeaderLine(data, size * count);
}

int THttpThread::SentThunk(void* self, char*, char*, int, int) {
    static_cast<THttpThread*>(self)->m_contactAt = std::chrono::steady_clock::now();
    return CURL_PREREQFUNC_OK;
}

size_t THttpThread::WriteThunk(char* data, size_t size, size_t count, void* self) {
    return static_cast<THttpThread*>(self)->OnBodyData(data, size * count);
}

size_t THttpThread::OnHeaderLine(const char* data, size_t size) {
    if (m_control->Terminated) return 0;
    // A server that keeps sending header lines passes the stall limit; the download's time and
    // the size cap bound it all the same.
    if (std::chrono::steady_clock::now() > m_request.Deadline) {
        m_failure = TFetchFailure::TimedOut;
        return 0;
    }
    if (m_headers.size() + size > m_request.Limits.MaxBodyBytes) {
        m_failure = TFetchFailure::TooLarge;
        return 0;
    }
    if (m_gated) return size;  // trailers of a response already judged
    std::string_view line(data, size);
    if (line.substr(0, 5) == "HTTP/") {
        m_contactAt = std::chrono::steady_clock::now();
        m_headers.assign(line);
        m_status = ParseStatusLine(line);
        m_hasLocation = false;
        m_redirectPending = false;
        return size;
    }
    m_headers.append(line);
    if (AsciiStartsWithNoCase(line, "location:")) m_hasLocation = true;
    if (line != "\r\n" && line != "\n") return size;
    // The end of one response's headers: interim answers and redirects that libcurl follows
    // are not the response the page is judged by.
    if (m_status >= 100 && m_status < 200) return size;
    if (IsFollowedRedirect(m_status) && m_hasLocation) {
        if (m_request.FollowRedirects)
            NoteRedirect();
        else
            m_redirect = true;
        return size;
    }
    return GateResponse() ? size : 0;
}

// libcurl counts redirects but does not tell a loop from a long chain: the addresses that
// redirected are kept, and one that redirects a second time closes a loop.
void THttpThread::NoteRedirect() {
    m_redirectPending = true;
    char* url = nullptr;
    if (curl_easy_getinfo(m_easy, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || !url) return;
    if (std::find(m_hops.begin(), m_hops.end(), url) != m_hops.end())
        m_redirectLoop = true;
    else
        m_hops.emplace_back(url);
}

bool THttpThread::GateResponse() {
    const int status = m_status;
    if (m_request.RobotsRules) {
        // Only the status matters for the rules of anything but a 2xx; no credentials are
        // offered. The headers go along: the answer may serve as the page of its URL too.
        FindHeader(m_headers, "content-type:", m_contentType);
        Notify([status, headers = m_headers,
                type = m_contentType](THttpGet& slot) { slot.RobotsNotice(status, headers, type); },
               false);
        m_gated = status >= 200 && status < 300;
        if (!m_gated) m_failure = TFetchFailure::HttpStatus;
        return m_gated;
    }
    if (m_request.Sitemap) return GateSitemap();
    const bool wantsCredentials = status == 401 || status == 407;
    int retryAfter = -1;
    std::string retryAfterText;
    if ((status == 429 || status == 503) && FindHeader(m_headers, "retry-after:", retryAfterText))
        retryAfter = RetryAfterMs(retryAfterText, static_cast<long long>(std::time(nullptr)));
    std::string& contentType = m_contentType;
    const bool typed = FindHeader(m_headers, "content-type:", contentType);
    const bool html = typed && IsPageContentType(contentType);
    std::string lengthText;
    FindHeader(m_headers, "content-length:", lengthText);
    const int length = ParseContentLength(lengthText);
    // The status and, for an HTML answer, the headers reach the slot in one notice. The worker
    // waits for it only when the slot may refuse the body; else the body is read meanwhile.
    const bool announce = !wantsCredentials && html;
    if (announce && m_request.HeaderMayRefuse) {
        bool accept = true;
        Notify(
            [&](THttpGet& slot) {
                slot.StatusNotice(status, retryAfter);
                slot.HeaderNotice(m_headers, status, contentType, length, accept);
            },
            true);
        if (!accept) {
            m_skipped = true;
            return false;
        }
    } else {
        Notify(
            [status, retryAfter, announce, headers = announce ? m_headers : std::string(),
             contentType, length](THttpGet& slot) {
                slot.StatusNotice(status, retryAfter);
                bool accept = true;
                if (announce) slot.HeaderNotice(headers, status, contentType, length, accept);
            },
            false);
    }
    if (wantsCredentials) {
        m_authPending = true;
        return false;
    }
    if (!typed) {
        m_failure = TFetchFailure::NoContentType;
        return false;
    }
    if (!html) {
        m_skipped = true;
        return false;
    }
    m_gated = true;
    // The announced length saves the body's regrowth; a server cannot make it reserve much.
    if (length > 0)
        m_body.reserve(std::min<std::size_t>(static_cast<std::size_t>(length), kMaxReserve));
    return true;
}

// A sitemap is read after any 2xx, whatever its type (XML, text, gzip). It is no page of the
// crawl: no credentials are offered, and the slot hears only the status, with the pause a 429 or
// 503 asks for.
bool THttpThread::GateSitemap() {
    const int status = m_status;
    int retryAfter = -1;
    std::string retryAfterText;
    if ((status == 429 || status == 503) && FindHeader(m_headers, "retry-after:", retryAfterText))
        retryAfter = RetryAfterMs(retryAfterText, static_cast<long long>(std::time(nullptr)));
    Notify([status, retryAfter](THttpGet& slot) { slot.StatusNotice(status, retryAfter); }, false);
    m_gated = status >= 200 && status < 300;
    if (!m_gated) m_failure = TFetchFailure::HttpStatus;
    return m_gated;
}

size_t THttpThread::OnBodyData(const char* data, size_t size) {
    if (m_control->Terminated) return 0;
    if (std::chrono::steady_clock::now() > m_request.Deadline) {
        if (!m_redirect) m_failure = TFetchFailure::TimedOut;
        return 0;
    }
    if (m_redirect) {
        // A redirect's own page is never used: read past it, so that the connection serves the
        // next request, but only a short one.
        m_bytesRead += size;
        return m_bytesRead <= kMaxReserve ? size : 0;
    }
    if (!m_gated) return 0;
    if (m_request.CutAtLimit() && m_bytesRead + size > m_request.Limits.MaxBodyBytes) {
        // Rules or sitemap entries beyond the limit are not read; what came before it is used.
        m_body.append(data, m_request.Limits.MaxBodyBytes - m_bytesRead);
        m_bytesRead = m_request.Limits.MaxBodyBytes;
        m_cut = true;
        return 0;
    }
    m_bytesRead += size;
    if (m_bytesRead > m_request.Limits.MaxBodyBytes) {
        m_failure = TFetchFailure::TooLarge;
        return 0;
    }
    if (!MakeRoom(size)) return 0;
    // The bytes are kept as they came, NUL bytes too: in UTF-16 they are half of every
    // character. Decoding drops NUL characters alone.
    m_body.append(data, size);
    return size;
}

void THttpThread::DropBody() {
    // The memory goes before the place: a worker keeps no large body beyond the budget, also
    // after a failed download (one cut at the size limit held a large place).
    m_body.clear();
    m_body.shrink_to_fit();
    m_marked.Clear();
    m_place.Release();
}

bool THttpThread::MakeRoom(std::size_t Size) {
    if (m_place || m_request.RobotsRules || m_body.size() + Size <= m_request.Limits.SmallBodyBytes)
        return true;
    const int places =
        TBodyBudget::PlacesFor(m_request.Limits.BodyBudgetBytes, m_request.Limits.MaxBodyBytes);
    m_place = TBodyBudget::Engine().Take(places, [this] {
        return m_control->Terminated || std::chrono::steady_clock::now() > m_request.Deadline;
    });
    if (m_place) return true;
    if (!m_control->Terminated) m_failure = TFetchFailure::TimedOut;
    return false;
}

void THttpThread::FinishBody(CURL* easy) {
    curl_off_t received = 0;
    if (curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &received) == CURLE_OK && received > 0)
        m_transferred.Received = static_cast<std::uint64_t>(received);
    m_transferred.Decoded = m_bytesRead;
    if (!m_bodyReady) return;
    if (m_request.RobotsRules) {
        // Rules are ASCII; a NUL byte is dropped alone.
        m_body.erase(std::remove(m_body.begin(), m_body.end(), '\0'), m_body.end());
        return;
    }
    if (m_request.Sitemap) return;  // gzip or XML bytes, read by the sitemap reader as they are
    TPageText page = DecodePage(std::move(m_body), m_contentType);
    m_body = std::move(page.Text);
    m_encoding = std::move(page.Encoding);
    // The link scan's pure part is done here, beside the other pages' downloads, so that the
    // crawler's thread only decides. A page beyond the small size is left to that thread: its
    // marked copy would hold twice its bytes outside the body budget.
    if (!m_place) m_marked.Prepare(m_body);
}

bool THttpThread::ApplyProxy(CURL* easy) const {
    switch (m_request.Connection.ProxyType) {
        case PROXY_DIRECT:
            return curl_easy_setopt(easy, CURLOPT_PROXY, "") == CURLE_OK;
        case PROXY_USEPROXY: {
            const std::string proxy = WithoutControlBytes(m_request.Connection.ProxyAddress) + ":" +
                                      std::to_string(m_request.Connection.ProxyPort);
            // The proxy the user chose is used for every host: no_proxy of the environment is
            // for the system's settings only.
            return curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str()) == CURLE_OK &&
                   curl_easy_setopt(easy, CURLOPT_NOPROXY, "") == CURLE_OK;
        }
        case PROXY_DEFAULT:
            return true;  // libcurl reads http_proxy, https_proxy and no_proxy itself
    }
    return false;
}

CURLcode THttpThread::Perform(CURL* easy) {
    if (!m_multi) m_multi = MakeMultiHandle();
    CURLM* multi = m_multi.get();
    if (!multi || curl_multi_add_handle(multi, easy) != CURLM_OK) return CURLE_FAILED_INIT;
    {
        std::lock_guard<std::mutex> guard(m_control->Lock);
        m_control->Multi = multi;
    }
    CURLcode result = CURLE_FAILED_INIT;
    m_easy = easy;
    while (!m_control->Terminated) {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) break;
        if (running == 0) {
            int left = 0;
            CURLMsg* message = curl_multi_info_read(multi, &left);
            if (message && message->msg == CURLMSG_DONE) result = message->data.result;
            break;
        }
        // A silent server sends no data to notice the deadline by: the wait itself stops there.
        if (std::chrono::steady_clock::now() >= m_request.Deadline) {
            result = CURLE_OPERATION_TIMEDOUT;
            break;
        }
        const int wait = static_cast<int>(std::min<long>(RemainingMs(), 1000));
        if (curl_multi_poll(multi, nullptr, 0, wait, nullptr) != CURLM_OK) break;
    }
    m_easy = nullptr;
    if (m_control->Terminated) result = CURLE_ABORTED_BY_CALLBACK;
    {
        std::lock_guard<std::mutex> guard(m_control->Lock);
        m_control->Multi = nullptr;
    }
    // An unfinished transfer closes its connection here, so no stale bytes meet the next one.
    curl_multi_remove_handle(multi, easy);
    return result;
}

void THttpThread::NoteFailure(CURL* easy, CURLcode Code) {
    if (m_failure != TFetchFailure::None || m_skipped || m_control->Terminated) return;
    long osErrno = 0;
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
    // A transfer that ended well without a judged answer never got one it could read.
    m_failure = Code == CURLE_OK ? TFetchFailure::BadAnswer : FailureOfCurl(Code, osErrno);
    if (m_failure == TFetchFailure::TooManyRedirects && m_redirectLoop)
        m_failure = TFetchFailure::RedirectLoop;
    // An answer libcurl cannot read as HTTP (HTTP/0.9) is an unsupported protocol too.
    if (m_failure == TFetchFailure::RefusedScheme && !m_redirectPending && IsWebUrl(m_request.Url))
        m_failure = TFetchFailure::BadAnswer;
}

// Credentials go only to their origin: the request and the answer that asked for them must both
// come from it. libcurl sends them to the host first asked, and (without unrestricted auth) to
// no other host a redirect leads to.
bool THttpThread::MaySendCredentials(CURL* easy) const {
    const std::string& origin = m_request.Connection.CredentialOrigin;
    const std::string& first = m_request.ChainStart.empty() ? m_request.Url : m_request.ChainStart;
    if (origin.empty() || OriginKey(first) != origin) return false;
    char* effective = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK || !effective)
        return false;
    return OriginKey(effective) == origin;
}

// What is left of the download's time, at least 1 ms so that libcurl does not read it as "none".
long THttpThread::RemainingMs() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_request.Deadline - std::chrono::steady_clock::now());
    return static_cast<long>(std::max<long long>(left.count(), 1));
}

std::string THttpThread::RedirectedUrl(CURL* easy) const {
    // A hop is the page's address after the redirects that led to it.
    if (!m_request.ChainStart.empty()) return m_request.Url;
    long redirects = 0;
    char* effective = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects) != CURLE_OK || redirects <= 0)
        return {};
    if (curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK || !effective)
        return {};
    return effective;
}

void THttpThread::TakeRedirect(CURL* easy) {
    char* target = nullptr;
    // libcurl resolves the Location against the address asked, as it would to follow it.
    if (curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &target) != CURLE_OK || !target) {
        m_failure = TFetchFailure::BadAnswer;
        return;
    }
    // A user name and password go no further than the chain's first request allows.
    m_redirectTo = WithoutUserInfo(target);
    m_failure = TFetchFailure::None;
}

void THttpThread::ApplyChainCredentials(CURL* easy) const {
    if (m_request.ChainStart.empty() || OriginKey(m_request.ChainStart) != OriginKey(m_request.Url))
        return;
    TCurlUrl start(curl_url());
    const unsigned flags = CURLU_ALLOW_SPACE | CURLU_PATH_AS_IS;
    if (!start ||
        curl_url_set(start.get(), CURLUPART_URL, m_request.ChainStart.c_str(), flags) != CURLUE_OK)
        return;
    char* user = nullptr;
    if (curl_url_get(start.get(), CURLUPART_USER, &user, CURLU_URLDECODE) != CURLUE_OK) return;
    const std::string name = TakeCurlString(user);
    char* password = nullptr;
    curl_url_get(start.get(), CURLUPART_PASSWORD, &password, CURLU_URLDECODE);
    const std::string secret = TakeCurlString(password);
    curl_easy_setopt(easy, CURLOPT_USERNAME, name.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, secret.c_str());
}

void THttpThread::Run() {
    // Named, so that tools (top -H, gdb) and tests tell the engine's threads from others.
    pthread_setname_np(pthread_self(), "tarnwick-fetch");
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_jobLock);
            m_jobReady.wait(lock, [this] { return m_hasJob || m_quit; });
            if (m_quit) break;
            m_hasJob = false;
            m_request = std::move(m_nextRequest);
            m_control = std::move(m_nextControl);
        }
        ResetOutcome();
        RunExchange();
        m_control.reset();
        m_queue->Post([self = shared_from_this()] { self->EndOfWork(); });
    }
    m_easyHandle.reset();
    m_multi.reset();  // the connections close on this thread, which used them
    {
        std::lock_guard<std::mutex> guard(m_jobLock);
        m_ended = true;
    }
    m_endedSignal.notify_all();
}

void THttpThread::ResetOutcome() {
    ResetAttempt();
    m_success = true;
    m_skipped = false;
    m_failure = TFetchFailure::None;
    m_bodyReady = false;
    m_cut = false;
    m_finalUrl.clear();
    m_redirectTo.clear();
    m_encoding.clear();
    m_transferred = {};
    m_contactAt = {};
}

void THttpThread::RunExchange() {
    m_success = false;
    // Until the transfer runs, a failure is the engine's own.
    m_failure = TFetchFailure::InternalError;
    if (m_easyHandle) {
        curl_easy_reset(m_easyHandle.get());
        SetEasyDefaults(m_easyHandle.get(), m_request.Limits);
    } else {
        m_easyHandle = MakeEasyHandle(m_request.Limits);
    }
    TCurlUrl url(curl_url());
    if (!m_easyHandle || !url || m_control->Terminated) return;
    CURL* h = m_easyHandle.get();
    const unsigned urlFlags = CURLU_ALLOW_SPACE | CURLU_PATH_AS_IS;
    if (curl_url_set(url.get(), CURLUPART_URL, m_request.Url.c_str(), urlFlags) != CURLUE_OK)
        return;
    curl_easy_setopt(h, CURLOPT_CURLU, url.get());
    if (m_request.FollowRedirects) curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    ApplyChainCredentials(h);

    const std::string agent = WithoutControlBytes(m_request.Connection.Agent);
    const std::string referrer =
        WithoutControlBytes(ReferrerFor(m_request.Referrer, m_request.Url));
    curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str());
    if (!referrer.empty()) curl_easy_setopt(h, CURLOPT_REFERER, referrer.c_str());
    // Nothing may answer from a cache: there is no local one, and a proxy is asked not to.
    TCurlSlist extraHeaders(curl_slist_append(nullptr, "Pragma: no-cache"));
    // An HTTP/1.0 request asks to keep its connection open, so the slot can use it again.
    curl_slist_append(extraHeaders.get(), "Connection: keep-alive");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, extraHeaders.get());
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &THttpThread::HeaderThunk);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &THttpThread::WriteThunk);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &THttpThread::SentThunk);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, this);
    if (!ApplyProxy(h)) return;
    m_failure = TFetchFailure::None;

    // One answer to a request for credentials: the second 401 or 407 is a failure.
    bool credentialsSent = false;
    for (;;) {
        ResetAttempt();
        if (std::chrono::steady_clock::now() >= m_request.Deadline) {
            m_failure = TFetchFailure::TimedOut;
            return;
        }
        // The connect phase and every repeat of the request stay within the download's time.
        curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, RemainingMs());
        const CURLcode code = Perform(h);
        if (m_control->Terminated) return;
        if (m_authPending) {
            const bool proxy = m_status == 407;
            const bool noLogin = m_request.Connection.UserName.empty();
            if (credentialsSent) {
                m_failure = proxy     ? TFetchFailure::ProxyLoginRefused
                            : noLogin ? TFetchFailure::LoginRequired
                                      : TFetchFailure::LoginRefused;
                return;
            }
            credentialsSent = true;
            if (proxy) {
                curl_easy_setopt(h, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
                curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, m_request.Connection.ProxyUser.c_str());
                curl_easy_setopt(h, CURLOPT_PROXYPASSWORD,
                                 m_request.Connection.ProxyPassword.c_str());
            } else {
                if (!MaySendCredentials(h)) {
                    m_failure = TFetchFailure::LoginRequired;
                    return;
                }
                curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
                curl_easy_setopt(h, CURLOPT_USERNAME, m_request.Connection.UserName.c_str());
                curl_easy_setopt(h, CURLOPT_PASSWORD, m_request.Connection.Password.c_str());
            }
            continue;
        }
        if (m_redirect) {
            TakeRedirect(h);
            FinishBody(h);
            return;
        }
        if (!(code == CURLE_OK || m_cut) || !m_gated) {
            NoteFailure(h, code);
            if (m_request.RobotsRules && IsRedirectFailure(m_failure)) {
                // A robots.txt beyond its redirects is no file, as after a 4xx: its status is
                // the last redirect's, not the "no answer" of an unreachable server.
                const int status = m_status;
                Notify([status](THttpGet& slot) { slot.StatusNotice(status, -1); }, false);
            }
            FinishBody(h);
            return;
        }
        break;
    }
    m_finalUrl = RedirectedUrl(h);
    m_bodyReady = true;
    m_success = m_bytesRead > 0 || m_request.RobotsRules;  // an empty robots.txt has no rules
    if (!m_success) m_failure = TFetchFailure::EmptyBody;
    FinishBody(h);
}
