// The ClickHouse source against two real servers started here, on loopback
// ports of their own, with a Distributed table over both: the field from
// the table must be the field the reader makes of the same points in a
// file. Skipped where clickhouse-server is not installed.
#include "field/clickhouse_source.h"
#include "field/field_loader.h"

#include <gtest/gtest.h>

#include <curl/curl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr char kPassword[] = "loopback-only";

// A port the system has free now on 127.0.0.1.
int free_port()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    close(s);
    return ntohs(a.sin_port);
}

std::size_t keep(char* bytes, std::size_t size, std::size_t count, void* out)
{
    static_cast<std::string*>(out)->append(bytes, size * count);
    return size * count;
}

// A statement sent to a server's HTTP port; the HTTP status, 0 when none came.
long post(int port, const std::string& sql, std::string* answer = nullptr)
{
    CURL* curl = curl_easy_init();
    std::string body;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, sql.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(sql.size()));
    curl_easy_setopt(curl, CURLOPT_USERNAME, "default");
    curl_easy_setopt(curl, CURLOPT_PASSWORD, kPassword);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keep);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    long status = 0;
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (answer)
        *answer = body;
    return status;
}

// One server in a folder of its own under the build tree, stopped with the test.
struct Server {
    int http = 0, tcp = 0;
    pid_t pid = 0;

    void start(const fs::path& dir, int other_tcp)
    {
        http = free_port();
        if (tcp == 0)
            tcp = free_port();
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(dir / "users.xml") << "<yandex><profiles><default/></profiles><users><default><password>"
                                         << kPassword
                                         << "</password><networks><ip>127.0.0.1</ip></networks><profile>default"
                                            "</profile><quota>default</quota></default></users><quotas><default/>"
                                            "</quotas></yandex>\n";
        const auto replica = [](int port) {
            return "<shard><replica><host>127.0.0.1</host><port>" + std::to_string(port) +
                "</port><user>default</user><password>" + kPassword + "</password></replica></shard>";
        };
        std::ofstream(dir / "config.xml")
            << "<yandex><logger><level>warning</level><log>" << (dir / "server.log").string() << "</log><errorlog>"
            << (dir / "error.log").string() << "</errorlog><console>0</console></logger><http_port>" << http
            << "</http_port><tcp_port>" << tcp << "</tcp_port><listen_host>127.0.0.1</listen_host><path>"
            << (dir / "data").string() << "/</path><tmp_path>" << (dir / "tmp").string() << "/</tmp_path><users_config>"
            << (dir / "users.xml").string()
            << "</users_config><default_profile>default</default_profile><default_database>default"
               "</default_database><mark_cache_size>104857600</mark_cache_size><remote_servers><two>"
            << replica(tcp) << (other_tcp ? replica(other_tcp) : "") << "</two></remote_servers></yandex>\n";
        const std::string config = "--config-file=" + (dir / "config.xml").string();
        char* argv[] = {const_cast<char*>(CLICKHOUSE_SERVER), const_cast<char*>(config.c_str()), nullptr};
        posix_spawn(&pid, CLICKHOUSE_SERVER, nullptr, nullptr, argv, environ);
    }
    // Waits, at most 30 s in tries of 100 ms, for the server to answer.
    bool ready() const
    {
        for (int k = 0; k < 300; ++k) {
            if (post(http, "SELECT 1") == 200)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    void stop()
    {
        if (pid <= 0)
            return;
        kill(pid, SIGTERM);
        int status = 0;
        for (int k = 0; k < 100 && waitpid(pid, &status, WNOHANG) == 0; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (waitpid(pid, &status, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        pid = 0;
    }
};

class ClickHouseSource : public ::testing::Test {
protected:
    static inline Server first, second;
    static inline fs::path points_file, root;
    static inline bool started = false;

    static void SetUpTestSuite()
    {
        if (!fs::exists(CLICKHOUSE_SERVER))
            return;
        curl_global_init(CURL_GLOBAL_DEFAULT);
        root = fs::path(CLICKHOUSE_TEST_DIR) / ("run-" + std::to_string(getpid()));
        // Each server's Distributed table has both as shards: the first's own port is known once it is chosen.
        first.tcp = free_port();
        second.start(root / "second", 0);
        first.start(root / "first", second.tcp);
        if (!first.ready() || !second.ready())
            return;
        std::mt19937_64 random(2026);
        std::normal_distribution<double> x_of(1800, 700), y_of(2100, 600);
        std::string rows[2];
        std::ofstream file(points_file = root / "points.txt");
        for (int k = 0; k < 200000; ++k) {
            double x = x_of(random), y = y_of(random);
            if (k < 8) { // the edges: NaN, infinities, x_min, 40, a node
                const double inf = HUGE_VAL;
                const double edge[8][2] = {{NAN, 1}, {2, NAN}, {inf, 3}, {-inf, 4},
                                           {5, inf}, {0, 0},   {40, 40}, {100, 200}};
                x = edge[k][0];
                y = edge[k][1];
            }
            char line[80];
            std::snprintf(line, sizeof line, "%.17g\t%.17g\n", x, y);
            rows[k % 2] += line;
            file << line;
        }
        file.close();
        for (Server* s : {&first, &second}) {
            EXPECT_EQ(post(s->http, "CREATE TABLE default.points_here (x Float64, y Float64) ENGINE = Log"), 200);
            EXPECT_EQ(post(s->http, "INSERT INTO default.points_here FORMAT TabSeparated\n" + rows[s == &second]), 200);
        }
        std::string answer;
        EXPECT_EQ(
            post(first.http,
                 "CREATE TABLE default.points AS default.points_here ENGINE = Distributed(two, default, points_here)",
                 &answer),
            200)
            << answer;
        started = true;
    }
    static void TearDownTestSuite()
    {
        first.stop();
        second.stop();
        if (!root.empty())
            fs::remove_all(root);
    }
    void SetUp() override
    {
        if (!fs::exists(CLICKHOUSE_SERVER))
            GTEST_SKIP() << "clickhouse-server is not installed (" << CLICKHOUSE_SERVER << ")";
        ASSERT_TRUE(started) << "the servers did not start";
    }

    static std::string address()
    {
        return "clickhouse://default@127.0.0.1:" + std::to_string(first.http) + "/default.points?x=x&y=y";
    }
};

void expect_same_field(const LoadedField& got, const LoadedField& want)
{
    ASSERT_TRUE(got.ok()) << got.problem;
    ASSERT_TRUE(want.ok());
    EXPECT_EQ(got.range, want.range);
    EXPECT_EQ(got.loaded, want.loaded);
    EXPECT_EQ(got.counts.points, want.counts.points);
    EXPECT_EQ(got.counts.in_range, want.counts.in_range);
    EXPECT_EQ(got.counts.rejected, want.counts.rejected);
    EXPECT_EQ(got.counts.not_a_number, want.counts.not_a_number);
    const double* a = got.field->ops.data(got.field.get());
    const double* b = want.field->ops.data(want.field.get());
    for (int k = 0; k < 201 * 201; ++k)
        ASSERT_NEAR(a[k], b[k], 1e-12) << "node " << k % 201 << ", " << k / 201;
}

TEST_F(ClickHouseSource, TwoShardTableGivesTheFileReadersField)
{
    for (BinningRule rule : {BinningRule::bilinear, BinningRule::classic})
        for (bool fit : {false, true}) {
            SCOPED_TRACE(std::string(binning_rule_name(rule)) + (fit ? ", fitted" : ""));
            LoadRequest request;
            request.range = Range{0, 4000, 0, 4000};
            request.binning = rule;
            request.fit_range = fit;
            request.path = points_file.string();
            const LoadedField want = load_field(request);
            request.path = address();
            request.password = kPassword;
            const LoadedField got = load_field(request);
            expect_same_field(got, want);
            EXPECT_EQ(got.fitted, fit);
            EXPECT_EQ(got.counts.points, 200000);
            EXPECT_EQ(got.counts.not_a_number, 2);
        }
}

TEST_F(ClickHouseSource, FailuresNameTheServerAndWhy)
{
    LoadRequest request;
    request.range = Range{0, 4000, 0, 4000};
    request.path = address();
    request.password = "wrong";
    const std::string server = "127.0.0.1:" + std::to_string(first.http);
    LoadedField refused = load_field(request);
    EXPECT_EQ(refused.failure, LoadFailure::database);
    EXPECT_EQ(refused.problem.rfind(server + ": HTTP ", 0), 0u) << refused.problem;
    EXPECT_EQ(refused.problem.find("wrong"), std::string::npos); // the password is never shown

    request.password = kPassword;
    request.path = "clickhouse://default@127.0.0.1:" + std::to_string(first.http) + "/default.nothing?x=x&y=y";
    const LoadedField missing = load_field(request);
    EXPECT_EQ(missing.failure, LoadFailure::database);
    EXPECT_NE(missing.problem.find("nothing"), std::string::npos) << missing.problem;

    // A cancelled request leaves no field.
    request.path = address();
    const LoadedField stopped =
        load_field(request, LoadWatch{nullptr, ReadWatch{[](void*) { return false; }, nullptr}});
    EXPECT_TRUE(stopped.ok());
    EXPECT_TRUE(stopped.counts.stopped);
    EXPECT_FALSE(stopped.field);

    // A server that takes the connection and never answers, past the timeout.
    const int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    listen(silent, 4);
    socklen_t size = sizeof at;
    getsockname(silent, reinterpret_cast<sockaddr*>(&at), &size);
    const std::string quiet = "127.0.0.1:" + std::to_string(ntohs(at.sin_port));
    request.path = "clickhouse://" + quiet + "/default.points?x=x&y=y&timeout=1";
    const LoadedField slow = load_field(request);
    close(silent);
    EXPECT_EQ(slow.failure, LoadFailure::database);
    EXPECT_EQ(slow.problem.rfind(quiet + ": ", 0), 0u) << slow.problem;
    EXPECT_NE(slow.problem.find("timed out"), std::string::npos) << slow.problem;

    // A stopped server.
    second.stop();
    request.path = "clickhouse://default@127.0.0.1:" + std::to_string(second.http) + "/default.points?x=x&y=y";
    const LoadedField down = load_field(request);
    EXPECT_EQ(down.failure, LoadFailure::database);
    EXPECT_EQ(down.problem.rfind("127.0.0.1:" + std::to_string(second.http) + ": ", 0), 0u) << down.problem;
    // ... and a shard of the table that is down.
    request.path = address();
    const LoadedField shard_down = load_field(request);
    EXPECT_EQ(shard_down.failure, LoadFailure::database);
    EXPECT_EQ(shard_down.problem.rfind(server + ": HTTP ", 0), 0u) << shard_down.problem;
}

TEST(DatabaseAddress, ReadsItsPartsAndRefusesTheRest)
{
    DatabaseAddress a;
    std::string problem;
    ASSERT_TRUE(parse_database_address("clickhouses://ana@[::1]:9440/sky.stars?x=r%20a&y=dec&timeout=5", &a, &problem))
        << problem;
    EXPECT_TRUE(a.https);
    EXPECT_EQ(a.user, "ana");
    EXPECT_EQ(a.host, "::1");
    EXPECT_EQ(a.port, 9440);
    EXPECT_EQ(a.database, "sky");
    EXPECT_EQ(a.table, "stars");
    EXPECT_EQ(a.x, "r a");
    EXPECT_EQ(a.y, "dec");
    EXPECT_EQ(a.timeout_seconds, 5);
    ASSERT_TRUE(parse_database_address("clickhouse://localhost/d.t?x=a&y=b", &a, &problem));
    EXPECT_EQ(a.port, 8123);
    EXPECT_EQ(a.timeout_seconds, 60);
    const struct {
        const char* text;
        const char* problem;
    } refused[] = {
        {"clickhouse://u:pw@h/d.t?x=a&y=b", "a password is never taken from the address; CLICKHOUSE_PASSWORD holds it"},
        {"clickhouse://h/t?x=a&y=b", "the table is named as DATABASE.TABLE"},
        {"clickhouse://h/d.t?x=a", "the address names the columns as ?x=COLUMN&y=COLUMN"},
        {"clickhouse://h/d.t?x=a%60&y=b",
         "a name in the address is empty, holds a dot, a control character, ` or \\, or is longer than 255 bytes"},
        {"clickhouse://h/d.t?x=a&y=b%0A",
         "a name in the address is empty, holds a dot, a control character, ` or \\, or "
         "is longer than 255 bytes"},
        {"clickhouse://h:99999/d.t?x=a&y=b", "the port 99999 is not a number from 1 to 65535"},
        {"clickhouse://h#x/d.t?x=a&y=b", "the server's name is not readable"},
        {"clickhouse://h/d.t?x=a&y=b&timeout=0", "timeout=0 is not a number of seconds from 1 to 86400"},
        {"clickhouse://h/d.t?x=a&y=b&query=DROP", "the address has no parameter query (x, y and timeout)"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(parse_database_address(r.text, &a, &problem)) << r.text;
        EXPECT_EQ(problem, r.problem) << r.text;
    }
}

} // namespace
