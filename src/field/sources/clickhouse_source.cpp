#include "field/sources/clickhouse_source.h"
#include "field/printable_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <type_traits>

#include <curl/curl.h>
#include <dlfcn.h>

namespace {

constexpr char kPlain[] = "clickhouse://";
constexpr char kSecure[] = "clickhouses://";
// An answer larger than this is no table of 40,000 cells.
constexpr std::size_t kLargestAnswer = 64u << 20;
// Why an address with a password in it is refused.
constexpr char kNoPassword[] = "a password is never taken from the address; CLICKHOUSE_PASSWORD holds it";
// What of an error's text a message shows.
constexpr std::size_t kLongestReason = 300;

bool starts_with(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

int hex_digit(char c)
{
    return c >= '0' && c <= '9' ? c - '0'
        : c >= 'a' && c <= 'f'  ? c - 'a' + 10
        : c >= 'A' && c <= 'F'  ? c - 'A' + 10
                                : -1;
}

// %XX decoded; false for a broken escape.
bool decoded(const std::string& text, std::string* out)
{
    out->clear();
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] != '%') {
            *out += text[k] == '+' ? ' ' : text[k];
            continue;
        }
        if (k + 2 >= text.size() + 0 || hex_digit(text[k + 1]) < 0 || hex_digit(text[k + 2]) < 0)
            return false;
        *out += static_cast<char>(hex_digit(text[k + 1]) * 16 + hex_digit(text[k + 2]));
        k += 2;
    }
    return true;
}

bool host_allowed(const std::string& host)
{
    if (host.empty() || host.size() > 253)
        return false;
    for (char c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_' && c != ':')
            return false;
    return true;
}

// The printable start of a server's text, for a message.
std::string reason_of(const std::string& text)
{
    const std::string line = text.substr(0, std::min(text.find_first_of("\r\n"), kLongestReason));
    return line.empty() ? "no reason given" : printable_text(line);
}

// libcurl's calls, looked up when the first query is sent: linked, the
// library and the thirty it needs would be loaded at every start of every
// program here, grid's on a text file too, which costs more than wc takes
// to count a file's lines.
struct CurlCalls {
    decltype(&curl_global_init) global_init;
    decltype(&curl_easy_init) easy_init;
    decltype(&curl_easy_setopt) easy_setopt;
    decltype(&curl_easy_getinfo) easy_getinfo;
    decltype(&curl_easy_strerror) easy_strerror;
    decltype(&curl_easy_perform) easy_perform;
    decltype(&curl_easy_cleanup) easy_cleanup;
    decltype(&curl_slist_free_all) slist_free_all;
    decltype(&curl_multi_init) multi_init;
    decltype(&curl_multi_add_handle) multi_add_handle;
    decltype(&curl_multi_perform) multi_perform;
    decltype(&curl_multi_poll) multi_poll;
    decltype(&curl_multi_info_read) multi_info_read;
    decltype(&curl_multi_remove_handle) multi_remove_handle;
    decltype(&curl_multi_cleanup) multi_cleanup;
};

// The calls, the library started; null when it cannot be loaded.
const CurlCalls* curl_calls()
{
    static const CurlCalls* const calls = []() -> const CurlCalls* {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return nullptr;
        static CurlCalls c;
        bool all = true;
        const auto find = [&](auto& call, const char* name) {
            call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(dlsym(library, name));
            all = all && call;
        };
        find(c.global_init, "curl_global_init");
        find(c.easy_init, "curl_easy_init");
        find(c.easy_setopt, "curl_easy_setopt");
        find(c.easy_getinfo, "curl_easy_getinfo");
        find(c.easy_strerror, "curl_easy_strerror");
        find(c.easy_perform, "curl_easy_perform");
        find(c.easy_cleanup, "curl_easy_cleanup");
        find(c.slist_free_all, "curl_slist_free_all");
        find(c.multi_init, "curl_multi_init");
        find(c.multi_add_handle, "curl_multi_add_handle");
        find(c.multi_perform, "curl_multi_perform");
        find(c.multi_poll, "curl_multi_poll");
        find(c.multi_info_read, "curl_multi_info_read");
        find(c.multi_remove_handle, "curl_multi_remove_handle");
        find(c.multi_cleanup, "curl_multi_cleanup");
        if (!all || c.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            return nullptr;
        return &c;
    }();
    return calls;
}

struct CurlCleanup {
    void operator()(CURL* curl) const { curl_calls()->easy_cleanup(curl); }
};
struct ListCleanup {
    void operator()(curl_slist* list) const { curl_calls()->slist_free_all(list); }
};

// One request in flight: where the answer goes, and what the watch asks.
struct Exchange {
    const DatabaseWatch* watch;
    std::string body; // the answer, or an error's text
    bool too_large = false;
    bool stopped = false;
    // The answer says where it ends (a length, or chunks): one ended only
    // by the connection's close could have been cut at a row's end.
    bool framed = false;
    std::size_t received = 0;

    // Rows read of rows to read, as the server last told; a total not yet
    // known is no progress.
    void progress(long long read, long long total) const
    {
        if (read < 0 || total <= 0)
            return;
        if (watch->done)
            *watch->done = std::max(*watch->done, std::min(read, total));
        if (watch->total)
            *watch->total = total;
    }
};

std::size_t take_body(char* bytes, std::size_t size, std::size_t count, void* context)
{
    Exchange& x = *static_cast<Exchange*>(context);
    const std::size_t n = size * count;
    x.received += n;
    if (x.received > kLargestAnswer) {
        x.too_large = true;
        return 0;
    }
    x.body.append(bytes, n);
    return n;
}

// "X-ClickHouse-Progress: {"read_rows":"12","read_bytes":"..","total_rows_to_read":"40"}"
long long progress_value(std::string_view line, std::string_view key)
{
    const std::size_t at = line.find(key);
    if (at == std::string_view::npos)
        return -1;
    std::size_t k = at + key.size();
    while (k < line.size() && (line[k] == '"' || line[k] == ':'))
        ++k;
    long long value = -1;
    std::from_chars(line.data() + k, line.data() + line.size(), value);
    return value;
}

std::string ascii_lower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

std::size_t take_header(char* bytes, std::size_t size, std::size_t count, void* context)
{
    Exchange& x = *static_cast<Exchange*>(context);
    const std::string_view line(bytes, size * count);
    const auto named = [&](std::string_view name) {
        return line.size() >= name.size() && strncasecmp(line.data(), name.data(), name.size()) == 0;
    };
    if (named("HTTP/"))
        x.framed = false; // a new answer, after an interim one
    else if (named("Content-Length:") ||
             (named("Transfer-Encoding:") && ascii_lower(line).find("chunked") != std::string::npos))
        x.framed = true;
    if (line.size() > 21 && strncasecmp(line.data(), "X-ClickHouse-Progress:", 22) == 0) {
        long long total = progress_value(line, "\"total_rows_to_read\"");
        if (total < 0)
            total = progress_value(line, "\"total_rows\"");
        x.progress(progress_value(line, "\"read_rows\""), total);
    }
    return size * count;
}

struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_calls()->multi_cleanup(multi); }
};

// How long the transfer waits for the network before it asks the watch
// again: a cancel is answered within this.
constexpr int kWatchMilliseconds = 100;
// How often the server is asked how far the query is. Servers that send
// no progress headers (18.16 sends none, whatever the settings) still list
// the query, by our own id, in system.processes.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);
// The most a side request (progress, or stopping the query) may take.
constexpr long kSideRequestMilliseconds = 2000;
constexpr long kStopRequestMilliseconds = 400;

// A query id of our own, so that the query can be found while it runs: in
// system.processes for its progress, and by KILL QUERY on a cancel.
std::string new_query_id()
{
    std::random_device random;
    char id[48];
    std::snprintf(id, sizeof id, "varnel-%08x%08x%08x%08x", random(), random(), random(), random());
    return id;
}

std::string base_url(const DatabaseAddress& a)
{
    const bool v6 = a.host.find(':') != std::string::npos;
    return std::string(a.https ? "https://" : "http://") + (v6 ? "[" + a.host + "]" : a.host) + ":" +
        std::to_string(a.port) + "/";
}

// Where a private server's certificate authority is found: libcurl's own
// bundle, unless the user names one in either variable curl's tool reads.
const char* certificate_authority_file()
{
    for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"})
        if (const char* file = std::getenv(name); file && *file)
            return file;
    return nullptr;
}

// What every request to the server has: the address, the login and the
// statement. The certificate is always verified.
void set_request(CURL* c, const DatabaseAddress& a, const std::string& password, const std::string& url,
                 const std::string& sql)
{
    curl_calls()->easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_calls()->easy_setopt(c, CURLOPT_PROTOCOLS_STR, a.https ? "https" : "http");
    curl_calls()->easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    if (const char* authority = certificate_authority_file())
        curl_calls()->easy_setopt(c, CURLOPT_CAINFO, authority);
    curl_calls()->easy_setopt(c, CURLOPT_POST, 1L);
    curl_calls()->easy_setopt(c, CURLOPT_COPYPOSTFIELDS, sql.c_str());
    if (!a.user.empty() || !password.empty()) {
        curl_calls()->easy_setopt(c, CURLOPT_USERNAME, a.user.empty() ? "default" : a.user.c_str());
        curl_calls()->easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
    }
    curl_calls()->easy_setopt(c, CURLOPT_CONNECTTIMEOUT, std::min(a.timeout_seconds, 20L));
}

std::size_t take_small(char* bytes, std::size_t size, std::size_t count, void* out)
{
    std::string& text = *static_cast<std::string*>(out);
    if (text.size() + size * count > 4096)
        return 0;
    text.append(bytes, size * count);
    return size * count;
}

// A question about the query in flight, asked beside it.
struct SideRequest {
    std::unique_ptr<CURL, CurlCleanup> curl;
    std::string answer;

    bool open(const DatabaseAddress& a, const std::string& password, const std::string& sql, long milliseconds)
    {
        curl.reset(curl_calls()->easy_init());
        if (!curl)
            return false;
        set_request(curl.get(), a, password, base_url(a), sql);
        curl_calls()->easy_setopt(curl.get(), CURLOPT_TIMEOUT_MS, milliseconds);
        curl_calls()->easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, take_small);
        curl_calls()->easy_setopt(curl.get(), CURLOPT_WRITEDATA, &answer);
        return true;
    }
};

// "read_rows<TAB>total_rows_approx" of the query, as system.processes has it.
void take_progress(const std::string& answer, const Exchange& x)
{
    long long read = -1, total = -1;
    const char* end = answer.data() + answer.size();
    const auto [tab, error] = std::from_chars(answer.data(), end, read);
    if (error == std::errc() && tab < end && *tab == '\t')
        std::from_chars(tab + 1, end, total);
    x.progress(read, total);
}

// Runs the transfer, asking the watch between waits and the server how far
// the query is; the result code, or false when the watch stopped it.
bool perform(CURL* curl, Exchange& x, const DatabaseAddress& a, const std::string& password,
             const std::string& query_id, CURLcode* code)
{
    std::unique_ptr<CURLM, MultiCleanup> multi(curl_calls()->multi_init());
    if (!multi || curl_calls()->multi_add_handle(multi.get(), curl) != CURLM_OK) {
        *code = CURLE_OUT_OF_MEMORY;
        return true;
    }
    const std::string progress_sql = "SELECT read_rows, total_rows_approx FROM system.processes WHERE query_id = '" +
        query_id + "' FORMAT TabSeparated";
    const bool asks_progress = x.watch->done || x.watch->total;
    SideRequest progress;
    bool asking = false;
    auto next_ask = std::chrono::steady_clock::now() + kProgressInterval;
    *code = CURLE_RECV_ERROR;
    int running = 1;
    while (running) {
        if (curl_calls()->multi_perform(multi.get(), &running) != CURLM_OK)
            break;
        int left = 0;
        while (CURLMsg* message = curl_calls()->multi_info_read(multi.get(), &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            if (message->easy_handle == curl) {
                *code = message->data.result;
                running = 0;
            } else {
                long status = 0;
                curl_calls()->easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
                if (message->data.result == CURLE_OK && status == 200)
                    take_progress(progress.answer, x);
                curl_calls()->multi_remove_handle(multi.get(), message->easy_handle);
                asking = false;
            }
        }
        if (!running)
            break;
        if (x.watch->go_on && !x.watch->go_on(x.watch->context)) {
            x.stopped = true;
            break;
        }
        if (asks_progress && !asking && std::chrono::steady_clock::now() >= next_ask) {
            progress.answer.clear();
            asking = progress.open(a, password, progress_sql, kSideRequestMilliseconds) &&
                curl_calls()->multi_add_handle(multi.get(), progress.curl.get()) == CURLM_OK;
            next_ask = std::chrono::steady_clock::now() + kProgressInterval;
        }
        curl_calls()->multi_poll(multi.get(), nullptr, 0, kWatchMilliseconds, nullptr);
    }
    if (asking)
        curl_calls()->multi_remove_handle(multi.get(), progress.curl.get());
    curl_calls()->multi_remove_handle(multi.get(), curl);
    return !x.stopped;
}

// Asks the server to stop a query we no longer wait for: with
// wait_end_of_query it would otherwise run on to its end. Cancel must not
// wait on it: the server carries out a KILL it has read even when we hang
// up before its answer (which takes 18.16 a while for a query in a slow
// block), and says nothing of one that failed.
void stop_query(const DatabaseAddress& a, const std::string& password, const std::string& query_id)
{
    SideRequest stop;
    if (stop.open(a, password, "KILL QUERY WHERE query_id = '" + query_id + "' ASYNC", kStopRequestMilliseconds))
        curl_calls()->easy_perform(stop.curl.get());
}

// Sends the query, the answer's text in *answer. The server is asked to
// finish the query before it answers, so an error late in it comes as an
// error, never as a cut table.
DatabaseOutcome send_query(const DatabaseAddress& a, const std::string& password, const std::string& sql,
                           const DatabaseWatch& watch, std::string* answer, std::string* problem)
{
    const std::string server = server_name(a);
    if (!curl_calls()) {
        *problem = server + ": the HTTP client library (libcurl.so.4) could not be loaded";
        return DatabaseOutcome::failed;
    }
    std::unique_ptr<CURL, CurlCleanup> curl(curl_calls()->easy_init());
    if (!curl) {
        *problem = server + ": the HTTP client could not be started";
        return DatabaseOutcome::failed;
    }
    const std::string query_id = new_query_id();
    Exchange x{&watch, {}};
    CURL* c = curl.get();
    set_request(c, a, password,
                base_url(a) + "?send_progress_in_http_headers=1&wait_end_of_query=1&query_id=" + query_id, sql);
    curl_calls()->easy_setopt(c, CURLOPT_TIMEOUT, a.timeout_seconds);
    curl_calls()->easy_setopt(c, CURLOPT_WRITEFUNCTION, take_body);
    curl_calls()->easy_setopt(c, CURLOPT_WRITEDATA, &x);
    curl_calls()->easy_setopt(c, CURLOPT_HEADERFUNCTION, take_header);
    curl_calls()->easy_setopt(c, CURLOPT_HEADERDATA, &x);
    char curl_error[CURL_ERROR_SIZE] = "";
    curl_calls()->easy_setopt(c, CURLOPT_ERRORBUFFER, curl_error);
    CURLcode code = CURLE_OK;
    if (!perform(c, x, a, password, query_id, &code)) {
        stop_query(a, password, query_id);
        return DatabaseOutcome::stopped;
    }
    long status = 0;
    curl_calls()->easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (x.too_large) {
        *problem = server + ": the answer is larger than any table of cell sums";
        return DatabaseOutcome::failed;
    }
    if (code == CURLE_OPERATION_TIMEDOUT)
        stop_query(a, password, query_id);
    if (code == CURLE_PEER_FAILED_VERIFICATION) {
        *problem = server + ": the server's certificate does not verify (" + curl_error +
            "); CURL_CA_BUNDLE or SSL_CERT_FILE may name the file of its certificate authority";
        return DatabaseOutcome::failed;
    }
    if (code == CURLE_OUT_OF_MEMORY && x.received == 0) {
        // The client refuses a header line past its limit with this code.
        *problem = server + ": the answer's headers are longer than any server's of cell sums";
        return DatabaseOutcome::failed;
    }
    if (code != CURLE_OK) {
        *problem = server + ": " + (curl_error[0] ? curl_error : curl_calls()->easy_strerror(code));
        return DatabaseOutcome::failed;
    }
    if (status != 200) {
        *problem = server + ": HTTP " + std::to_string(status) + ": " + reason_of(x.body);
        return DatabaseOutcome::failed;
    }
    if (!x.framed) {
        *problem = server + ": the answer did not say its length, so a cut one cannot be told from a whole one";
        return DatabaseOutcome::failed;
    }
    // The whole answer came: every row was read.
    if (watch.done && watch.total && *watch.total > 0)
        *watch.done = *watch.total;
    *answer = std::move(x.body);
    return DatabaseOutcome::done;
}

// Where an address's password ends: the last '@' after a ':' that comes
// before any '?', where a server's name and then a '/' follow the '@';
// npos where there is none. Not the authority's own '@': a password may
// hold a '/' or a '?', which ends the authority early, and a message
// would show the password's start as a server or a port. A table named
// with an '@' may lose more of its address from a message than it need,
// never a password its secrecy.
std::size_t password_end(const std::string& text, std::size_t host)
{
    const std::size_t colon = text.find(':', host);
    if (colon == std::string::npos || colon > text.find('?', host))
        return std::string::npos;
    const auto server_char = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || (c && std::strchr(".-_:[]", c));
    };
    for (std::size_t at = text.rfind('@'); at != std::string::npos && at > colon; at = text.rfind('@', at - 1)) {
        const std::size_t slash = text.find('/', at);
        if (slash != std::string::npos && std::all_of(text.begin() + at + 1, text.begin() + slash, server_char))
            return at;
    }
    return std::string::npos;
}

bool exact_number(std::string_view text, double* value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

} // namespace

SumsQuery database_query(const DatabaseAddress& a)
{
    SumsQuery q;
    q.dialect = SqlDialect::clickhouse;
    q.table = a.database + "." + a.table;
    q.x = a.x;
    q.y = a.y;
    return q;
}

bool is_database_address(const std::string& name) { return starts_with(name, kPlain) || starts_with(name, kSecure); }

std::string address_for_message(const std::string& text)
{
    if (!is_database_address(text))
        return text;
    const std::size_t host = text.find("//") + 2;
    std::string shown = text.substr(0, host);
    std::size_t rest = host;
    if (const std::size_t at = password_end(text, host); at != std::string::npos) {
        shown += text.substr(host, text.find(':', host) - host);
        rest = at;
    }
    const std::size_t mark = text.find('?', rest);
    shown += text.substr(rest, mark == std::string::npos ? std::string::npos : mark - rest);
    if (mark == std::string::npos)
        return shown;
    // Only the parameters the address knows keep their values.
    char joint = '?';
    for (std::size_t start = mark + 1; start <= text.size();) {
        std::size_t end = text.find('&', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string pair = text.substr(start, end - start);
        const std::string name = pair.substr(0, pair.find('='));
        shown += joint + (name == "x" || name == "y" || name == "timeout" ? pair : name + "=...");
        joint = '&';
        start = end + 1;
    }
    return shown;
}

std::string server_name(const DatabaseAddress& a)
{
    const bool v6 = a.host.find(':') != std::string::npos;
    return (v6 ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
}

bool parse_database_address(const std::string& text, DatabaseAddress* address, std::string* problem)
{
    DatabaseAddress a;
    a.https = starts_with(text, kSecure);
    if (!a.https && !starts_with(text, kPlain)) {
        *problem = "the address begins with clickhouse:// or clickhouses://";
        return false;
    }
    std::string rest = text.substr(a.https ? std::strlen(kSecure) : std::strlen(kPlain));
    const std::size_t slash = rest.find('/');
    if (slash == std::string::npos) {
        *problem = "no /DATABASE.TABLE after the server";
        return false;
    }
    std::string authority = rest.substr(0, slash), path = rest.substr(slash + 1), query;
    if (const std::size_t mark = path.find('?'); mark != std::string::npos) {
        query = path.substr(mark + 1);
        path.resize(mark);
    }
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        const std::string user = authority.substr(0, at);
        if (user.find(':') != std::string::npos) {
            *problem = kNoPassword;
            return false;
        }
        if (!decoded(user, &a.user) || !sql_name_allowed(SqlDialect::clickhouse, a.user)) {
            *problem = "the user's name is not readable";
            return false;
        }
        authority.erase(0, at + 1);
    }
    std::string port;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) {
            *problem = "an IPv6 address without its closing ]";
            return false;
        }
        a.host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') {
                *problem = "the server's address is not readable";
                return false;
            }
            port = authority.substr(close + 2);
        }
    } else {
        const std::size_t colon = authority.find(':');
        a.host = authority.substr(0, colon);
        if (colon != std::string::npos)
            port = authority.substr(colon + 1);
        if (a.host.find(':') != std::string::npos)
            a.host.clear();
    }
    if (!host_allowed(a.host)) {
        *problem = "the server's name is not readable";
        return false;
    }
    a.port = a.https ? 8443 : 8123;
    if (!port.empty()) {
        int value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535) {
            // A password holding a '/' ends the authority early and reads as a port.
            const std::size_t host = text.find("//") + 2;
            *problem = password_end(text, host) != std::string::npos
                ? kNoPassword
                : "the port " + port + " is not a number from 1 to 65535";
            return false;
        }
        a.port = value;
    }
    std::string table;
    const std::size_t dot = path.find('.');
    if (dot == std::string::npos || !decoded(path.substr(0, dot), &a.database) ||
        !decoded(path.substr(dot + 1), &table)) {
        *problem = "the table is named as DATABASE.TABLE";
        return false;
    }
    a.table = table;
    std::size_t start = 0;
    while (start <= query.size() && !query.empty()) {
        std::size_t end = query.find('&', start);
        if (end == std::string::npos)
            end = query.size();
        const std::string pair = query.substr(start, end - start);
        const std::size_t eq = pair.find('=');
        std::string value;
        if (eq == std::string::npos || !decoded(pair.substr(eq + 1), &value)) {
            *problem = "the address's parameter " + reason_of(pair) + " is not NAME=VALUE";
            return false;
        }
        const std::string name = pair.substr(0, eq);
        if (name == "x") {
            a.x = value;
        } else if (name == "y") {
            a.y = value;
        } else if (name == "timeout") {
            long seconds = 0;
            const auto [stop, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (error != std::errc() || stop != value.data() + value.size() || seconds < 1 || seconds > 86400) {
                *problem = "timeout=" + reason_of(value) + " is not a number of seconds from 1 to 86400";
                return false;
            }
            a.timeout_seconds = seconds;
        } else {
            *problem = "the address has no parameter " + reason_of(name) + " (x, y and timeout)";
            return false;
        }
        start = end + 1;
    }
    for (const std::string* name : {&a.database, &a.table, &a.x, &a.y})
        if (!sql_name_allowed(SqlDialect::clickhouse, *name) || name->find('.') != std::string::npos) {
            *problem = a.x.empty() || a.y.empty()
                ? "the address names the columns as ?x=COLUMN&y=COLUMN"
                : "a name in the address is empty, holds a dot or a control character,"
                  " or is longer than 255 bytes";
            return false;
        }
    *address = a;
    return true;
}

DatabaseOutcome clickhouse_cell_sums(const DatabaseAddress& address, const std::string& password,
                                     const SumsQuery& query, const DatabaseWatch& watch, CellSumsTable* table,
                                     std::string* problem)
{
    const Range& range = query.range;
    const std::string sql = cell_sums_query(query);
    if (sql.empty()) {
        *problem = server_name(address) +
            ": the range is no finite rectangle, or a column's name is longer than 255 bytes or holds a control "
            "character";
        return DatabaseOutcome::failed;
    }
    std::string answer;
    const DatabaseOutcome outcome =
        send_query(address, password, sql + "\nFORMAT TabSeparatedWithNames", watch, &answer, problem);
    if (outcome != DatabaseOutcome::done)
        return outcome;
    CellSumsParser parser;
    if (!parser.feed(answer) || !parser.finish()) {
        *problem = server_name(address) + ": the answer is no table of cell sums: " + parser.problem();
        return DatabaseOutcome::failed;
    }
    // The range comes back as the server read it: a server that rounded it
    // would have binned another grid.
    if (parser.table().has_range && !(parser.table().range == range)) {
        *problem = server_name(address) + ": the server read the range as other numbers than were sent";
        return DatabaseOutcome::failed;
    }
    // The answer's columns say what it sums; the query's own names the columns and axes.
    *table = std::move(parser.table());
    table->range = range;
    table->has_range = true;
    table->weight_name = query.weight;
    table->value_name = query.value;
    table->log_x = query.log_x;
    table->log_y = query.log_y;
    return DatabaseOutcome::done;
}

DatabaseOutcome clickhouse_bounds(const DatabaseAddress& address, const std::string& password, const SumsQuery& query,
                                  const DatabaseWatch& watch, DataBounds* bounds, std::string* problem)
{
    std::string answer;
    const DatabaseOutcome outcome =
        send_query(address, password, bounds_query(query) + "\nFORMAT TabSeparated", watch, &answer, problem);
    if (outcome != DatabaseOutcome::done)
        return outcome;
    double v[5];
    std::size_t start = 0;
    for (int k = 0; k < 5; ++k) {
        const std::size_t end = answer.find(k < 4 ? '\t' : '\n', start);
        if (end == std::string::npos || !exact_number(std::string_view(answer).substr(start, end - start), &v[k])) {
            *problem = server_name(address) + ": the answer holds no bounds: " + reason_of(answer);
            return DatabaseOutcome::failed;
        }
        start = end + 1;
    }
    // The count is a number of rows, which a long long holds.
    if (!(v[4] >= 0 && v[4] < 0x1p63 && v[4] == std::floor(v[4]))) {
        *problem = server_name(address) + ": the answer's count of rows is no count: " + reason_of(answer);
        return DatabaseOutcome::failed;
    }
    *bounds = DataBounds{};
    bounds->points = static_cast<long long>(v[4]);
    bounds->range = Range{v[0], v[1], v[2], v[3]};
    return DatabaseOutcome::done;
}
