// Real ClickHouse servers for tests, each started by the test on loopback
// ports of its own with its config and data in a folder of the build tree,
// and stopped with it; never a system service.
#pragma once

#include <curl/curl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "loopback_port.h"

extern char** environ;

namespace clickhouse_test {

namespace fs = std::filesystem;

inline constexpr char kPassword[] = "loopback-only";

inline int free_port() { return free_loopback_port(); }

inline std::size_t keep(char* bytes, std::size_t size, std::size_t count, void* out)
{
    static_cast<std::string*>(out)->append(bytes, size * count);
    return size * count;
}

// A statement sent to a server's HTTP port; the HTTP status, 0 when none came.
inline long post(int port, const std::string& sql, std::string* answer = nullptr)
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
    int https = 0; // with a certificate given to start
    pid_t pid = 0;

    // The certificate's and key's files, when the server is to serve HTTPS too.
    void start(const fs::path& dir, int other_tcp, const fs::path& certificate = {}, const fs::path& key = {})
    {
        http = free_port();
        if (tcp == 0)
            tcp = free_port();
        std::string secure;
        if (!certificate.empty()) {
            https = free_port();
            secure = "<https_port>" + std::to_string(https) + "</https_port><openSSL><server><certificateFile>" +
                certificate.string() + "</certificateFile><privateKeyFile>" + key.string() +
                "</privateKeyFile><verificationMode>none</verificationMode></server></openSSL>";
        }
        fs::remove_all(dir);
        fs::create_directories(dir);
        // Small blocks: a view that sleeps per row must stay under the
        // server's 3 s of sleep per block.
        std::ofstream(dir / "users.xml") << "<yandex><profiles><default><max_block_size>4096</max_block_size>"
                                            "</default></profiles><users><default><password>"
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
            << "</http_port><tcp_port>" << tcp << "</tcp_port>" << secure
            << "<listen_host>127.0.0.1</listen_host><path>" << (dir / "data").string() << "/</path><tmp_path>"
            << (dir / "tmp").string() << "/</tmp_path><users_config>" << (dir / "users.xml").string()
            << "</users_config><default_profile>default</default_profile><default_database>default"
               "</default_database><mark_cache_size>104857600</mark_cache_size><remote_servers><two>"
            << replica(tcp) << (other_tcp ? replica(other_tcp) : "") << "</two></remote_servers></yandex>\n";
        const std::string config = "--config-file=" + (dir / "config.xml").string();
        char* argv[] = {const_cast<char*>(CLICKHOUSE_SERVER), const_cast<char*>(config.c_str()), nullptr};
        // The server dies with the test, even one that crashes or is
        // killed: a server left behind by a crashed run would stay up for good.
        const pid_t test = getpid();
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() == test)
                execv(CLICKHOUSE_SERVER, argv);
            _exit(127);
        }
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

// A self-signed certificate for 127.0.0.1 made by the openssl command in
// the folder (cert.pem, key.pem); false where the command is missing.
inline bool make_certificate(const fs::path& dir)
{
    const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
                                " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        (dir / "key.pem").string() + "' -out '" + (dir / "cert.pem").string() + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace clickhouse_test
