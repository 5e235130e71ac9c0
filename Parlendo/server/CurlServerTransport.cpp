#include "server/CurlServerTransport.h"

#include "foundation/ClientIdentity.h"
#include "foundation/Log.h"
#include "foundation/Text.h"
#include "server/NetFailure.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace parlendo {

namespace {

std::optional<std::string> hostOf(const std::string& url) {
    auto resolved = CurlSession::resolve(url, url);
    return resolved ? std::optional<std::string>(text::asciiLower(resolved->host)) : std::nullopt;
}

// "https://host:port" of a URL: what a path starting with one slash is resolved against.
std::string originOf(const std::string& url) {
    auto resolved = CurlSession::resolve(url, "/");
    if (!resolved || !resolved->url.ends_with('/')) {
        return "";
    }
    return resolved->url.substr(0, resolved->url.size() - 1);
}

// A path that resolves against the origin as it stands: one leading slash and only printable
// ASCII without blanks (anything else goes through curl's URL parser).
bool isPlainPath(std::string_view path) {
    if (path.size() < 1 || path[0] != '/' || (path.size() > 1 && path[1] == '/')) {
        return false;
    }
    return std::all_of(path.begin(), path.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

// Milliseconds, rounded as "%.0f" rounds (to nearest, ties to even).
std::string milliseconds(curl_off_t micros) {
    return std::to_string(
        static_cast<long long>(std::nearbyint(static_cast<double>(micros) / 1000.0)));
}

std::string protocolName(long version) {
    switch (version) {
        case CURL_HTTP_VERSION_1_0:
            return "http/1.0";
        case CURL_HTTP_VERSION_1_1:
            return "http/1.1";
        case CURL_HTTP_VERSION_2_0:
            return "h2";
        case CURL_HTTP_VERSION_3:
            return "h3";
        default:
            return "-";
    }
}

}  // namespace

struct CurlServerTransport::Transfer {
    CurlSession::EasyHandle handle;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::optional<std::string> body;
    CurlSession::Received received;
    std::string logPath;
    std::optional<std::string> conn;
    Completion<void(ServerResponse)> completion;

    ~Transfer() {
        handle.reset();  // before the headers it points to
        curl_slist_free_all(headers);
    }
};

CurlServerTransport::CurlServerTransport(std::string base, std::shared_ptr<CurlSession> session,
                                         std::optional<std::string> conn, std::string clientInfo,
                                         size_t answerLimit)
    : base_(std::move(base)),
      baseHost_(hostOf(base_).value_or("")),
      origin_(originOf(base_)),
      session_(std::move(session)),
      conn_(std::move(conn)),
      clientInfo_(std::move(clientInfo)),
      answerLimit_(answerLimit) {}

std::string CurlServerTransport::percentEncodeNonAscii(std::string_view value) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        }
    }
    return out;
}

std::optional<int> CurlServerTransport::urlErrorCode(CURLcode code, long osErrno) {
    namespace c = NetFailure::code;
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return c::timedOut;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return c::cannotFindHost;
        case CURLE_COULDNT_CONNECT:
            return osErrno == ENETUNREACH ? c::notConnected : c::cannotConnect;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return c::connectionLost;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_SHUTDOWN_FAILED:
            return c::tlsFailed;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return c::tlsCertificateUntrusted;
        case CURLE_SSL_CERTPROBLEM:
            return -1206;  // a client certificate was required
        case CURLE_WEIRD_SERVER_REPLY:
            return c::badServerResponse;
        case CURLE_FILESIZE_EXCEEDED:
            return c::dataLengthExceedsMaximum;
        case CURLE_BAD_CONTENT_ENCODING:
            return -1016;  // the content could not be decoded
        case CURLE_UNSUPPORTED_PROTOCOL:
            return c::unsupportedURL;
        case CURLE_ABORTED_BY_CALLBACK:
            return c::cancelled;
        default:
            return std::nullopt;
    }
}

std::optional<std::pair<std::string, bool>> CurlServerTransport::locate(
    const std::string& path) const {
    std::string encoded = percentEncodeNonAscii(path);
    if (!origin_.empty() && isPlainPath(encoded)) {
        return std::make_pair(origin_ + encoded, true);
    }
    auto resolved = CurlSession::resolve(base_, encoded);
    if (!resolved) {
        return std::nullopt;
    }
    return std::make_pair(std::move(resolved->url), text::asciiLower(resolved->host) == baseHost_);
}

void CurlServerTransport::send(ServerRequest request, Completion<void(ServerResponse)> completion) {
    auto unreachable = [this, &completion] {
        session_->post([completion = std::move(completion)]() mutable {
            completion(ServerResponse::unreachable());
        });
    };
    // Resolve the path against the project URL; a path that makes no URL is never sent.
    auto located = locate(request.path);
    if (!located) {
        unreachable();
        return;
    }
    std::string logPath = request.path.substr(0, request.path.find('?'));

    // The client identity goes to the project host only, whatever the caller set.
    HttpHeaders headers = std::move(request.headers);
    headers.erase(ClientIdentity::header);
    if (located->second) {
        headers.emplace(ClientIdentity::header, clientInfo_);
    }
    curl_slist* list = CurlSession::headerList(headers);
    if (list == nullptr) {
        Log::write("net", "path=" + logPath + " 헤더에 줄바꿈이나 NUL이 있어 보내지 않음");
        unreachable();
        return;
    }
    auto handle = session_->takeEasy();
    CURL* easy = handle.get();
    if (easy == nullptr) {
        curl_slist_free_all(list);
        unreachable();
        return;
    }

    auto transfer = std::make_unique<Transfer>();
    transfer->handle = std::move(handle);
    transfer->easy = easy;
    transfer->headers = list;
    transfer->logPath = std::move(logPath);
    transfer->conn = conn_;
    transfer->completion = std::move(completion);
    transfer->body = std::move(request.body);

    curl_easy_setopt(easy, CURLOPT_URL, located->first.c_str());
    session_->configure(easy, request.timeout);
    CurlSession::collect(easy, &transfer->received, answerLimit_);
    CurlSession::setMethod(easy, request.method, transfer->body);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);

    session_->perform(easy, [transfer = std::move(transfer)](CURLcode result) mutable {
        finish(std::move(transfer), result);
    });
}

void CurlServerTransport::finish(std::unique_ptr<Transfer> transfer, CURLcode result) {
    CURL* easy = transfer->easy;
    long status = 0;
    long version = 0;
    long connects = 0;
    long osErrno = 0;
    curl_off_t total = 0, dns = 0, connect = 0, tls = 0, pretransfer = 0, firstByte = 0, sent = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(easy, CURLINFO_HTTP_VERSION, &version);
    curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &connects);
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
    curl_easy_getinfo(easy, CURLINFO_TOTAL_TIME_T, &total);
    curl_easy_getinfo(easy, CURLINFO_NAMELOOKUP_TIME_T, &dns);
    curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connect);
    curl_easy_getinfo(easy, CURLINFO_APPCONNECT_TIME_T, &tls);
    curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
    curl_easy_getinfo(easy, CURLINFO_STARTTRANSFER_TIME_T, &firstByte);
    curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &sent);

    // A reused connection has no lookup, connect or handshake of its own.
    bool reused = result == CURLE_OK && connects == 0;
    bool connected = !reused && connect > 0;
    std::string line =
        "path=" + transfer->logPath + " status=" + (status > 0 ? std::to_string(status) : "-") +
        " total_ms=" + milliseconds(total) + " reused=" + (reused ? "true" : "false") +
        " dns=" + (connected ? milliseconds(dns) : "-") +
        " connect=" + (connected ? milliseconds(connect - dns) : "-") +
        " tls=" + (connected && tls > 0 ? milliseconds(tls - connect) : "-") +
        " ttfb=" + (firstByte > 0 ? milliseconds(firstByte - pretransfer) : "-") +
        " proto=" + protocolName(version) + " sent=" + std::to_string(sent) +
        " body=" + std::to_string(transfer->body ? transfer->body->size() : 0);

    // A cut-off answer ends as a write error; it is the answer that was too long.
    if (transfer->received.tooLarge) {
        result = CURLE_FILESIZE_EXCEEDED;
    }
    auto code = result == CURLE_OK ? std::nullopt : urlErrorCode(result, osErrno);
    if (result != CURLE_OK) {
        line += " error=" + (code ? NetFailure::name(NetFailure::urlErrorDomain, *code)
                                  : NetFailure::name("curl", result));
    }
    if (transfer->conn) {
        line += " conn=" + *transfer->conn;
    }
    Log::write("net", line);
    if (result == CURLE_FILESIZE_EXCEEDED) {
        Log::write("net", "path=" + transfer->logPath + " 답이 " +
                              std::to_string(transfer->received.limit) + "바이트를 넘어 끊음");
    }

    auto completion = std::move(transfer->completion);
    if (result == CURLE_OK) {
        HttpHeaders headers;
        if (transfer->received.retryAfter) {
            headers["Retry-After"] = *transfer->received.retryAfter;
        }
        std::string body = std::move(transfer->received.body);
        transfer.reset();
        completion(
            ServerResponse::http(static_cast<int>(status), std::move(body), std::move(headers)));
        return;
    }
    transfer.reset();
    if (result == CURLE_OPERATION_TIMEDOUT) {
        completion(ServerResponse::timedOut());
    } else if (code) {
        completion(ServerResponse::failed(*code));
    } else {
        completion(ServerResponse::unreachable());
    }
}

}  // namespace parlendo
