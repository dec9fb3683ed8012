// The ClickHouse source against two real servers started here, on loopback
// ports of their own, with a Distributed table over both: the field from
// the table must be the field the reader makes of the same points in a
// file. Skipped where clickhouse-server is not installed.
#include "field/sources/clickhouse_source.h"
#include "field/field_loader.h"
#include "canned_http_server.h"
#include "clickhouse_test_servers.h"
#include "tent_reference.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <fcntl.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <spawn.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace clickhouse_test;

class ClickHouseSource : public ::testing::Test {
protected:
    static inline Server first, second;
    static inline fs::path points_file, valued_file, root;
    static inline std::vector<tent::Point> valued;
    static inline bool started = false;
    // A weight's and a value's columns named like the query's own names;
    // the values again under the query's prefix, for a value asked alone.
    static inline const std::string weight_column = "varnel_bw", value_column = "swz", prefixed_value = "varnel_qx";

    static void SetUpTestSuite()
    {
        if (!fs::exists(CLICKHOUSE_SERVER))
            return;
        curl_global_init(CURL_GLOBAL_DEFAULT);
        root = fs::path(CLICKHOUSE_TEST_DIR) / ("run-" + std::to_string(getpid()));
        // Each server's Distributed table has both as shards: the first's own port is known once it is chosen.
        first.tcp = free_port();
        second.start(root / "second", 0);
        // The first serves HTTPS as well where a certificate can be made.
        fs::create_directories(root);
        if (make_certificate(root))
            first.start(root / "first", second.tcp, root / "cert.pem", root / "key.pem");
        else
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
            // The same points in a table that knows its rows before it is
            // read, behind views that take a while per row: 1 s, and 20 s.
            for (const char* sql :
                 {"CREATE TABLE default.points_tree (x Float64, y Float64) ENGINE = MergeTree ORDER BY tuple()"
                  " SETTINGS index_granularity = 1024",
                  "INSERT INTO default.points_tree SELECT x, y FROM default.points_here",
                  "CREATE VIEW default.slow_here AS SELECT x, y FROM default.points_tree WHERE sleepEachRow(0.00001) = "
                  "0",
                  "CREATE VIEW default.stuck_here AS SELECT x, y FROM default.points_tree WHERE sleepEachRow(0.0002) = "
                  "0"})
                EXPECT_EQ(post(s->http, sql), 200) << sql;
        }
        // Points with weights and values, some NULL and some NaN, on both shards.
        valued = tent::hand_worked();
        for (const tent::Point& p : tent::random_points(77, 30000))
            valued.push_back(p);
        std::ofstream(valued_file = root / "valued.txt") << tent::text_of(valued, weight_column, value_column);
        std::string valued_rows[2];
        for (std::size_t k = 0; k < valued.size(); ++k) {
            std::string row;
            for (const double v : {valued[k].x, valued[k].y, valued[k].w, valued[k].z, valued[k].z}) {
                char text[40];
                std::snprintf(text, sizeof text, "%.17g", v);
                row += (row.empty() ? "" : "\t") + (std::isnan(v) && k % 2 ? std::string("\\N") : std::string(text));
            }
            valued_rows[k % 3 == 0] += row + "\n";
        }
        for (Server* s : {&first, &second}) {
            EXPECT_EQ(post(s->http,
                           "CREATE TABLE default.valued_here (x Nullable(Float64), y Float64, " + weight_column +
                               " Nullable(Float64), " + value_column + " Nullable(Float64), " + prefixed_value +
                               " Nullable(Float64)) ENGINE = Log"),
                      200);
            EXPECT_EQ(
                post(s->http, "INSERT INTO default.valued_here FORMAT TabSeparated\n" + valued_rows[s == &second]),
                200);
        }
        std::string answer;
        EXPECT_EQ(post(first.http,
                       "CREATE TABLE default.valued AS default.valued_here ENGINE = Distributed(two, default, "
                       "valued_here)",
                       &answer),
                  200)
            << answer;
        for (const char* table : {"points", "slow", "stuck"})
            EXPECT_EQ(post(first.http,
                           std::string("CREATE TABLE default.") + table +
                               " AS default.points_here ENGINE = Distributed(two, default, " +
                               (table == std::string("points") ? "points_here" : table + std::string("_here")) + ")",
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

    static std::string address(const std::string& table = "points")
    {
        return "clickhouse://default@127.0.0.1:" + std::to_string(first.http) + "/default." + table + "?x=x&y=y";
    }
    // A load of the table over the default range, with the right password.
    static LoadRequest table_request(const std::string& table = "points")
    {
        LoadRequest request;
        request.range = Range{0, 4000, 0, 4000};
        request.path = address(table);
        request.password = kPassword;
        return request;
    }
    // A stopped query leaves each server's process list within 10 s: it
    // would run 20 s, and a server unwinds a killed query in about 0.7 s
    // here, several times that on a busy machine.
    static void expect_gone_from_every_server(const std::string& which)
    {
        for (Server* s : {&first, &second}) {
            std::string running = "?";
            for (int k = 0; k < 100 && running != "0\n"; ++k) {
                if (k > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                post(s->http, "SELECT count() FROM system.processes WHERE " + which, &running);
            }
            EXPECT_EQ(running, "0\n") << "the server on port " << s->http << " still runs the query";
        }
    }
    static LoadedField from_file(BinningRule rule = BinningRule::bilinear)
    {
        LoadRequest request;
        request.range = Range{0, 4000, 0, 4000};
        request.binning = rule;
        request.path = points_file.string();
        return load_field(request);
    }
};

// What the progress dialog is shown, as a load's watch sees it.
struct ProgressSeen {
    DataFileMeter meter;
    std::vector<std::pair<long long, long long>> steps; // (done, total), each change once
    long long stop_after = -1;                          // rows done after which the load is cancelled
    std::chrono::steady_clock::time_point stopped;      // when it was

    static bool go_on(void* context)
    {
        auto& seen = *static_cast<ProgressSeen*>(context);
        const std::pair<long long, long long> now{seen.meter.done, seen.meter.size};
        if (seen.steps.empty() || seen.steps.back() != now)
            seen.steps.push_back(now);
        if (seen.stop_after < 0 || seen.meter.done <= seen.stop_after)
            return true;
        seen.stopped = std::chrono::steady_clock::now();
        return false;
    }
    LoadWatch watch() { return LoadWatch{&meter, ReadWatch{go_on, this}}; }
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

// Counts under either rule, fitted or not; and weights of either sign,
// zero, NaN or NULL, means and logarithmic axes from a table of them: the
// field is the one the file's reader makes, and the one the tents give.
TEST_F(ClickHouseSource, TwoShardTableGivesTheFileReadersField)
{
    const Range linear{0, 200, 0, 200};
    const struct {
        const char* name;
        BinningRule rule;
        bool fit;
        tent::Ask ask;                           // none: counts of the plain table
        const std::string& value = value_column; // the table's name for the values
    } cases[] = {
        {"counts", BinningRule::bilinear, false, {}},
        {"counts, fitted", BinningRule::bilinear, true, {}},
        {"counts, classic", BinningRule::classic, false, {}},
        {"counts, classic, fitted", BinningRule::classic, true, {}},
        {"weights", BinningRule::bilinear, false, {linear, true}},
        {"weighted means", BinningRule::bilinear, false, {linear, true, true}},
        {"means of a column named with the query's prefix",
         BinningRule::bilinear,
         false,
         {linear, false, true},
         prefixed_value},
        {"means on log x and y", BinningRule::bilinear, false, {Range{1, 1000, 1, 1000}, false, true, true, true}},
        {"weighted means on log x, fitted", BinningRule::bilinear, true, {Range{1, 1000, 0, 200}, true, true, true}},
        {"weighted means on log y, classic",
         BinningRule::classic,
         false,
         {Range{0, 200, 1, 1000}, true, true, false, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tent::Ask& a = c.ask;
        const bool counts = !a.weight && !a.mean && !a.log_x && !a.log_y;
        LoadRequest request;
        request.range = counts ? Range{0, 4000, 0, 4000} : a.range;
        request.binning = c.rule;
        request.fit_range = c.fit;
        request.columns.weight_name = a.weight ? weight_column : "";
        request.columns.value_name = a.mean ? value_column : "";
        request.log_x = a.log_x;
        request.log_y = a.log_y;
        request.path = (counts ? points_file : valued_file).string();
        const LoadedField want = load_field(request);
        request.path = address(counts ? "points" : "valued");
        request.password = kPassword;
        request.columns.value_name = a.mean ? c.value : "";
        const LoadedField got = load_field(request);
        EXPECT_EQ(got.fitted, c.fit);
        if (counts) {
            expect_same_field(got, want);
            EXPECT_EQ(got.counts.points, 200000);
            EXPECT_EQ(got.counts.not_a_number, 2);
            continue;
        }
        tent::expect_loaded_like(got, want, valued, a, c.rule, c.name);
    }
}

// The query over a table that takes a second shows its rows read rising,
// step by step, to all the table's rows on both shards; the field is still
// the file's.
TEST_F(ClickHouseSource, ProgressRisesToAllTheRows)
{
    const LoadRequest request = table_request("slow");
    ProgressSeen seen;
    const LoadedField got = load_field(request, seen.watch());
    expect_same_field(got, from_file());
    ASSERT_FALSE(seen.steps.empty());
    // The total is the server's estimate, which grows as each shard tells its
    // own: at last the rows rounded up to whole granules of 1024 on each.
    int between = 0;
    for (std::size_t k = 1; k < seen.steps.size(); ++k) {
        EXPECT_GE(seen.steps[k].first, seen.steps[k - 1].first);
        EXPECT_GE(seen.steps[k].second, seen.steps[k - 1].second);
        between += seen.steps[k].first > 0 && seen.steps[k].first < seen.steps[k].second;
    }
    EXPECT_GT(between, 0) << "no progress came while the query ran";
    EXPECT_GE(seen.meter.size, 200000);
    EXPECT_LE(seen.meter.size, 200000 + 2 * 1024);
    EXPECT_EQ(seen.meter.done, seen.meter.size);
    RecordProperty("progress_steps", int(seen.steps.size()));
}

// Cancel leaves the query on no server: asked to stop, neither runs it on
// for the 20 s it would take.
TEST_F(ClickHouseSource, CancelStopsTheQueryOnEveryShard)
{
    const LoadRequest request = table_request("stuck");
    ProgressSeen seen;
    seen.stop_after = 0; // once the server has read some rows, the query surely runs there
    const LoadedField stopped = load_field(request, seen.watch());
    const auto took = std::chrono::steady_clock::now() - seen.stopped;
    EXPECT_TRUE(stopped.ok()) << stopped.problem;
    EXPECT_TRUE(stopped.counts.stopped);
    EXPECT_FALSE(stopped.field);
    RecordProperty("cancel_ms", int(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    expect_gone_from_every_server("query LIKE '%stuck%' AND query NOT LIKE '%system.processes%'");
}

// Ctrl-C or SIGTERM to varnel-cli while the server runs its query: the
// query is stopped on every shard, and the signal still ends the program.
TEST_F(ClickHouseSource, SignalToTheCommandStopsTheQuery)
{
    const char* ours = "initial_query_id LIKE 'varnel-%'";
    const auto running = [&] {
        std::string count;
        post(first.http, std::string("SELECT count() FROM system.processes WHERE ") + ours, &count);
        return count;
    };
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const std::string path = address("stuck");
        const std::string password = std::string("CLICKHOUSE_PASSWORD=") + kPassword;
        char* argv[] = {const_cast<char*>(VARNEL_CLI), const_cast<char*>("grid"),      const_cast<char*>(path.c_str()),
                        const_cast<char*>("-o"),       const_cast<char*>("/dev/null"), nullptr};
        char* envp[] = {const_cast<char*>(password.c_str()), nullptr};
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, VARNEL_CLI, &quiet, nullptr, argv, envp), 0);
        posix_spawn_file_actions_destroy(&quiet);
        for (int k = 0; k < 100 && running() == "0\n"; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_NE(running(), "0\n") << "the query never started";
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        expect_gone_from_every_server(ours);
    }
}

// Over HTTPS the certificate is verified: the file that names its authority
// gives the file's field, and without it the server is named with why.
TEST_F(ClickHouseSource, HttpsVerifiesTheServersCertificate)
{
    if (first.https == 0)
        GTEST_SKIP() << "the openssl command is missing: no certificate for HTTPS";
    const std::string server = "127.0.0.1:" + std::to_string(first.https);
    LoadRequest request = table_request();
    request.path = "clickhouses://default@" + server + "/default.points?x=x&y=y";
    const std::string authority = (root / "cert.pem").string();
    const struct {
        const char* variable;
        const char* file;
    } cases[] = {{"SSL_CERT_FILE", authority.c_str()}, {"CURL_CA_BUNDLE", authority.c_str()}, {nullptr, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variable ? c.variable : "no authority named");
        unsetenv("SSL_CERT_FILE");
        unsetenv("CURL_CA_BUNDLE");
        if (c.variable)
            setenv(c.variable, c.file, 1);
        const LoadedField got = load_field(request);
        unsetenv(c.variable ? c.variable : "SSL_CERT_FILE");
        if (c.variable) {
            expect_same_field(got, from_file());
            continue;
        }
        EXPECT_EQ(got.failure, LoadFailure::database);
        EXPECT_EQ(got.problem.rfind(server + ": the server's certificate does not verify", 0), 0u) << got.problem;
    }
}

// Last of the suite: it stops the second server.
// Column names that would break a query pasted together as text, or that
// equal the query's own names, through the address as a user writes them:
// each pair reads its own columns over both shards, fitted and not.
TEST_F(ClickHouseSource, HostileColumnNamesReadTheirOwnColumns)
{
    const std::pair<std::string, std::string> pairs[] = {
        {"varnel_py", "EVIL) , (SELECT 1"},
        {"y_min", "x_max"},
        {"x_min", "y_max"},
        {"gx", "gy"},
        {"n", "sfx"},
        {"varnel_fx", "Varnel_qx"},
        {"qx", "varnel_px"},
        {"a`b", "c\\d"},
        {"/* e", "-- f"},
        {"g'h;", "i\"j"},
        {"x_lo", "count()"},
    };
    // The test's own quoting, as the server's manual gives it, and the
    // address's escapes for every byte but letters and digits.
    const auto quoted = [](const std::string& name) {
        std::string text = "`";
        for (char c : name)
            text.append(c == '`' || c == '\\' ? "\\" : "").append(1, c);
        return text + "`";
    };
    const auto escaped = [](const std::string& name) {
        std::string text;
        for (unsigned char c : name) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            text += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : hex;
        }
        return text;
    };
    const LoadedField want = from_file(), want_fitted = [] {
        LoadRequest request;
        request.range = Range{0, 4000, 0, 4000};
        request.fit_range = true;
        request.path = points_file.string();
        return load_field(request);
    }();
    for (std::size_t k = 0; k < std::size(pairs); ++k) {
        const auto& [x, y] = pairs[k];
        SCOPED_TRACE(x + " / " + y);
        const std::string table = "hostile" + std::to_string(k);
        for (Server* s : {&first, &second})
            for (const std::string& sql :
                 {"CREATE TABLE default." + table + "_here (" + quoted(x) + " Float64, " + quoted(y) +
                      " Float64) ENGINE = Log",
                  "INSERT INTO default." + table + "_here SELECT x, y FROM default.points_here"}) {
                std::string answer;
                ASSERT_EQ(post(s->http, sql, &answer), 200) << sql << "\n" << answer;
            }
        std::string answer;
        ASSERT_EQ(post(first.http,
                       "CREATE TABLE default." + table + " AS default." + table +
                           "_here ENGINE = Distributed(two, default, " + table + "_here)",
                       &answer),
                  200)
            << answer;
        LoadRequest request = table_request();
        request.path = "clickhouse://default@127.0.0.1:" + std::to_string(first.http) + "/default." + table +
            "?x=" + escaped(x) + "&y=" + escaped(y);
        expect_same_field(load_field(request), want);
        request.fit_range = true;
        expect_same_field(load_field(request), want_fitted);
    }
}

TEST_F(ClickHouseSource, FailuresNameTheServerAndWhy)
{
    LoadRequest request = table_request();
    request.password = "wrong";
    const std::string server = "127.0.0.1:" + std::to_string(first.http);
    LoadedField refused = load_field(request);
    EXPECT_EQ(refused.failure, LoadFailure::database);
    EXPECT_EQ(refused.problem.rfind(server + ": HTTP ", 0), 0u) << refused.problem;
    EXPECT_EQ(refused.problem.find("wrong"), std::string::npos); // the password is never shown

    // A table's columns are named, and a logarithmic axis's range lies above zero.
    request = table_request();
    request.columns.numbers.weight = 3;
    const LoadedField numbered = load_field(request);
    EXPECT_EQ(numbered.failure, LoadFailure::database);
    EXPECT_EQ(numbered.problem, "a table's columns are asked for by name: a weight's and a value's too");
    request.columns.numbers = Columns{};
    request.columns.value_name = "z\n";
    EXPECT_EQ(load_field(request).problem,
              server +
                  ": the range is no finite rectangle, or a column's name is longer than 255 bytes or holds a "
                  "control character");
    request = table_request();
    request.log_y = true;
    EXPECT_EQ(load_field(request).failure, LoadFailure::log_range);

    request = table_request("nothing");
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

// Answers no ClickHouse server gives: the sums are taken only where the
// answer says where it ends, and a header line past the client's limit is
// named as such. Servers newer than the tests' send the progress in
// headers: the rows to read (or, from older ones, the rows in all) are the
// meter's size, all of them done once the answer is in; a total of none is
// no progress at all.
TEST(DatabaseAnswer, TakesOnlyAnswersThatSayWhereTheyEnd)
{
    const std::string rows = "gx\tgy\tn\tsfx\tsfy\tsfxfy\tx_min\tx_max\ty_min\ty_max\n"
                             "0\t0\t1\t0.5\t0.5\t0.25\t0\t4000\t0\t4000\n";
    const char hex[] = "0123456789abcdef";
    std::string chunk_size;
    for (std::size_t n = rows.size(); n; n /= 16)
        chunk_size.insert(chunk_size.begin(), hex[n % 16]);
    const auto progress = [](const std::string& fields) { return "X-ClickHouse-Progress: {" + fields + "}\r\n"; };
    const auto framed = [](const std::string& body) {
        return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    const std::string length = "Content-Length: " + std::to_string(rows.size()) + "\r\n\r\n" + rows;
    std::string other_range = rows;
    other_range.replace(other_range.rfind("4000\t0"), 4, "4001");
    const struct {
        std::string answer;
        const char* problem; // null: the sums are taken
        long long total = 0; // the meter's size then
        bool fit = false;    // the bounds are asked first, and answered
    } cases[] = {
        {"HTTP/1.1 200 OK\r\n" + length, nullptr},
        {"HTTP/1.1 200 OK\r\n" + progress(R"("read_rows":"3","read_bytes":"24","total_rows_to_read":"10")") +
             progress(R"("read_rows":"6","read_bytes":"48","total_rows_to_read":"12")") + length,
         nullptr, 12},
        {"HTTP/1.1 200 OK\r\n" + progress(R"("read_rows":"4","read_bytes":"32","total_rows":"9")") + length, nullptr,
         9},
        {"HTTP/1.1 200 OK\r\n" + progress(R"("read_rows":"5","total_rows_to_read":"0")") + length, nullptr, 0},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunk_size + "\r\n" + rows + "\r\n0\r\n\r\n",
         nullptr},
        {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + rows, "the answer did not say its length"},
        {"HTTP/1.1 200 OK\r\nX-Filler: " + std::string(4 << 20, 'a') + "\r\nContent-Length: 0\r\n\r\n",
         "the answer's headers are longer than"},
        {framed("hello\n"), "the answer is no table of cell sums"},
        {framed(other_range), "the server read the range as other numbers"},
        {framed("0\t4000\n"), "the answer holds no bounds", 0, true},
        // A count of rows a long long holds, or none.
        {framed("0\t4000\t0\t4000\t1e30\n"), "count of rows is no count", 0, true},
        {framed("0\t4000\t0\t4000\t2.5\n"), "count of rows is no count", 0, true},
        {framed("0\t4000\t0\t4000\t-1\n"), "count of rows is no count", 0, true},
        {framed("0\t4000\t0\t4000\tnan\n"), "count of rows is no count", 0, true},
    };
    for (const auto& c : cases) {
        CannedHttpServer server(c.answer);
        LoadRequest request;
        request.range = Range{0, 4000, 0, 4000};
        request.fit_range = c.fit;
        request.path = "clickhouse://127.0.0.1:" + std::to_string(server.port()) + "/d.t?x=x&y=y&timeout=5";
        ProgressSeen seen;
        const LoadedField loaded = load_field(request, seen.watch());
        SCOPED_TRACE(c.answer.substr(0, 60));
        if (!c.problem) {
            EXPECT_TRUE(loaded.ok()) << loaded.problem;
            EXPECT_EQ(loaded.counts.points, 1);
            EXPECT_EQ(seen.meter.size, c.total);
            EXPECT_EQ(seen.meter.done, c.total);
        } else {
            EXPECT_EQ(loaded.failure, LoadFailure::database);
            EXPECT_NE(loaded.problem.find(c.problem), std::string::npos) << loaded.problem;
        }
    }
}

TEST(DatabaseAddress, MessagesLeaveItsPasswordOut)
{
    const struct {
        const char* address;
        const char* shown;
    } cases[] = {
        {"clickhouse://ana:hunter2-secret@h:8123/d.t?x=a&y=b", "clickhouse://ana@h:8123/d.t?x=a&y=b"},
        {"clickhouses://h/d.t?x=a&password=hunter2&y=b&timeout=3",
         "clickhouses://h/d.t?x=a&password=...&y=b&timeout=3"},
        {"clickhouse://:pw@h/d.t", "clickhouse://@h/d.t"},
        // A password holding a slash or a question mark, which would cut the server's part short.
        {"clickhouse://ana:a/b?c@[::1]:9/d.t?x=a@b&y=c", "clickhouse://ana@[::1]:9/d.t?x=a@b&y=c"},
        {"clickhouse://h:8123/d.t?x=a:b@c&y=d", "clickhouse://h:8123/d.t?x=a:b@c&y=d"},
        {"clickhouse://h?x=a:b@c", "clickhouse://h?x=a:b@c"},
        {"clickhouse://h/d.t?x=a:b@c/d", "clickhouse://h/d.t?x=a:b@c/d"},
        {"/data/a:b@c.txt", "/data/a:b@c.txt"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(address_for_message(c.address), c.shown) << c.address;
    // Passwords of the characters that end an address's parts, each of
    // which starts with a '~' that nothing else holds: no piece of one may
    // reach a message, the address's or its problem's.
    std::mt19937 random(7);
    const auto any = [&random](std::initializer_list<const char*> pieces, int most) {
        std::string text;
        for (int n = std::uniform_int_distribution<int>(0, most)(random); n > 0; --n)
            text += pieces.begin()[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
        return text;
    };
    for (int k = 0; k < 2000; ++k) {
        const std::string address = "clickhouse://" + any({"ana", "b"}, 1) + ":~" +
            any({"~", "/", "?", "@", ":", "#", "&", "=", "a", "%41"}, 6) + "@" + any({"h", "[::1]", "h:9"}, 1) + "/" +
            any({"d.t", "d.t@x", "?x=a@h/b", "&y=b:c", "#"}, 3);
        DatabaseAddress a;
        std::string problem;
        EXPECT_FALSE(parse_database_address(address, &a, &problem)) << address;
        EXPECT_EQ(problem.find('~'), std::string::npos) << address << ": " << problem;
        EXPECT_EQ(address_for_message(address).find('~'), std::string::npos) << address;
    }
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
    // A plus is a space, a hex digit of either case; an IPv6 server without a port.
    ASSERT_TRUE(parse_database_address("clickhouses://[::1]/d.t?x=r+a&y=%4a%4B", &a, &problem)) << problem;
    EXPECT_EQ(a.host, "::1");
    EXPECT_EQ(a.port, 8443);
    EXPECT_EQ(a.x, "r a");
    EXPECT_EQ(a.y, "JK");
    const struct {
        const char* text;
        const char* problem;
    } refused[] = {
        {"clickhouse://u:pw@h/d.t?x=a&y=b", "a password is never taken from the address; CLICKHOUSE_PASSWORD holds it"},
        {"clickhouse://u:pa/ss@h/d.t?x=a&y=b",
         "a password is never taken from the address; CLICKHOUSE_PASSWORD holds it"},
        {"clickhouse://h/t?x=a&y=b", "the table is named as DATABASE.TABLE"},
        {"clickhouse://h/d.t?x=a", "the address names the columns as ?x=COLUMN&y=COLUMN"},
        {"clickhouse://h/d.t?x=a%7F&y=b",
         "a name in the address is empty, holds a dot or a control character, or is longer than 255 bytes"},
        {"clickhouse://h/d.t?x=a&y=b%0A",
         "a name in the address is empty, holds a dot or a control character, or is longer than 255 bytes"},
        {"clickhouse://h:99999/d.t?x=a&y=b", "the port 99999 is not a number from 1 to 65535"},
        {"clickhouse://h#x/d.t?x=a&y=b", "the server's name is not readable"},
        {"clickhouse://h/d.t?x=a&y=b&timeout=0", "timeout=0 is not a number of seconds from 1 to 86400"},
        {"clickhouse://h/d.t?x=a&y=b&query=DROP", "the address has no parameter query (x, y and timeout)"},
        {"http://h/d.t?x=a&y=b", "the address begins with clickhouse:// or clickhouses://"},
        {"clickhouse:/h/d.t?x=a&y=b", "the address begins with clickhouse:// or clickhouses://"},
        {"clickhouse://h", "no /DATABASE.TABLE after the server"},
        {"clickhouse://[::1/d.t?x=a&y=b", "an IPv6 address without its closing ]"},
        {"clickhouse://[::1]9000/d.t?x=a&y=b", "the server's address is not readable"},
        {"clickhouse://a%zz@h/d.t?x=a&y=b", "the user's name is not readable"},
        {"clickhouse://h:80:90/d.t?x=a&y=b", "the port 80:90 is not a number from 1 to 65535"},
        {"clickhouse://h:0/d.t?x=a&y=b", "the port 0 is not a number from 1 to 65535"},
        {"clickhouse://h/d.t?x=a&y", "the address's parameter y is not NAME=VALUE"},
        {"clickhouse://h/d.t?x=a&y=b%2", "the address's parameter y=b%2 is not NAME=VALUE"},
        {"clickhouse://h/d.t?x=a&y=b&timeout=86401", "timeout=86401 is not a number of seconds from 1 to 86400"},
        {"clickhouse://h/d.t?x=a&y=b&timeout=5s", "timeout=5s is not a number of seconds from 1 to 86400"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(parse_database_address(r.text, &a, &problem)) << r.text;
        EXPECT_EQ(problem, r.problem) << r.text;
    }
}

} // namespace
