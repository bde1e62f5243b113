// NTS against real servers: chronyd and ntpsec's ntpd taken out of their packages, and
// openssl s_server for the key exchanges that must fail, in network namespaces with a CA made
// for the test.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <thread>

#include "harness/lab.h"
#include "platform/qt/qt_nts_key_exchange.h"

namespace korvel {
namespace {

using lab::NamespacePair;

constexpr const char* kServer = NamespacePair::kServerAddress;

// This thread inside a network namespace for the object's life.
class InNamespace {
public:
    explicit InNamespace(const std::string& name)
        : m_home(::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC)) {
        const int target = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_EQ(::setns(target, CLONE_NEWNET), 0) << name;
        ::close(target);
    }
    ~InNamespace() {
        ::setns(m_home, CLONE_NEWNET);
        ::close(m_home);
    }
    InNamespace(const InNamespace&) = delete;
    InNamespace& operator=(const InNamespace&) = delete;

private:
    int m_home;
};

class NtsLab : public lab::LabTest {
protected:
    void SetUp() override {
        LabTest::SetUp();
        // A CA, a certificate for the server's address, one for another name, and one for the
        // address valid only from four years and 364 days on for two days.
        const std::string sign = " -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 -extfile ";
        const std::string script =
            "set -e; cd " + folder->path().string() +
            "; key() { openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes "
            "-keyout $1.key -out $1.csr -subj /CN=$2 2>/dev/null; }; "
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes "
            "-keyout ca.key -out ca.crt -days 2200 -subj /CN=korvel-test-ca 2>/dev/null; "
            "key server " +
            kServer + "; echo subjectAltName=IP:" + kServer + " > server.ext; " +
            "openssl x509 -req -in server.csr -out server.crt" + sign + "server.ext 2>/dev/null; " +
            "key other elsewhere.test; echo subjectAltName=DNS:elsewhere.test > other.ext; " +
            "openssl x509 -req -in other.csr -out other.crt" + sign + "other.ext 2>/dev/null; " +
            "printf "
            "'[ca]\\ndefault_ca=c\\n[c]\\ndatabase=index\\nnew_certs_dir=.\\nserial=serial\\n"
            "policy=p\\ndefault_md=sha256\\n[p]\\ncommonName=supplied\\n' > ca.cnf; touch index; "
            "echo 01 > serial; later() { date -u -d \"+$1 days\" +%y%m%d%H%M%SZ; }; openssl ca "
            "-batch "
            "-notext -config ca.cnf -cert ca.crt -keyfile ca.key -in server.csr -out later.crt "
            "-extfile server.ext -startdate $(later 1825) -enddate $(later 1827) 2>/dev/null; "
            "chmod 644 *.key";
        std::string output;
        ASSERT_TRUE(lab::shell(script, &output)) << output;
    }

    std::string peer(const std::string& package) {
        std::string output;
        EXPECT_TRUE(lab::shell(
            std::string(KORVEL_PRIVATE_PEER) + " " + package + " " + KORVEL_PEERS_DIR, &output))
            << output;
        return output.substr(0, output.find('\n'));
    }

    // Starts a server in the server namespace without the right to set the clock, and waits
    // until its key-exchange port takes connections.
    void startServer(std::vector<std::string> argv, int kePort) {
        tools.push_back(
            std::make_unique<lab::ChildProcess>(net->server, withoutClockRight(std::move(argv))));
        const std::string probe = "ip netns exec " + net->client + " bash -c 'exec 3<>/dev/tcp/" +
                                  kServer + "/" + std::to_string(kePort) + "' 2>/dev/null";
        for (int i = 0; i < 100; ++i) {
            if (lab::shell(probe)) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ADD_FAILURE() << "nothing listens on " << kePort;
    }

    void startChronyd(const std::string& moreConfig = "",
                      const std::string& certificate = "server") {
        const std::string conf = inFolder("chrony.conf");
        std::filesystem::create_directories(inFolder("chrony-run"));
        std::filesystem::permissions(inFolder("chrony-run"), std::filesystem::perms::owner_all);
        std::ofstream(conf) << "local stratum 1\nallow all\nbindaddress " << kServer
                            << "\nntsserverkey " << inFolder("server.key") << "\nntsservercert "
                            << inFolder(certificate + ".crt") << "\nntsdumpdir "
                            << inFolder("chrony-run") << "\nntsprocesses 0\nbindcmdaddress "
                            << inFolder("chrony-run/chronyd.sock") << "\npidfile "
                            << inFolder("chrony-run/chronyd.pid") << "\n"
                            << moreConfig;
        startServer({peer("chrony") + "/usr/sbin/chronyd", "-x", "-d", "-u", "root", "-f", conf},
                    kNtsKePort);
    }

    void startNtpsec() {
        const std::string conf = inFolder("ntp.conf");
        std::ofstream(conf) << "disable ntp\nnts enable\nnts cert " << inFolder("server.crt")
                            << "\nnts key " << inFolder("server.key") << "\nnts cookie "
                            << inFolder("nts-keys") << "\n";
        startServer({peer("ntpsec") + "/usr/sbin/ntpd", "-n", "-c", conf}, kNtsKePort);
    }

    // chronyd naming as its NTP server an attacker on the path: the relay, tampering as told.
    void startRelayed(const std::string& tamper) {
        const std::string relay = NamespacePair::kOtherServerAddress;
        startChronyd("ntsntpserver " + relay + "\n");
        startTool(KORVEL_TEST_RELAY, {"--listen", relay + ":123", "--upstream",
                                      std::string(kServer) + ":123", "--tamper", tamper});
    }

    // openssl s_server answering TLS 1.3 on the port with the certificate (and the ALPN name
    // where one is given).
    void startTlsServer(int port, const std::string& certificate, const std::string& alpn) {
        std::vector<std::string> argv = {
            "openssl", "s_server",
            "-accept", std::string(kServer) + ":" + std::to_string(port),
            "-cert",   inFolder(certificate + ".crt"),
            "-key",    inFolder(certificate + ".key"),
            "-tls1_3", "-quiet"};
        if (!alpn.empty()) {
            argv.insert(argv.end(), {"-alpn", alpn});
        }
        startServer(argv, port);
    }

    // A key exchange as the program makes one: on a thread of its own, the result through
    // the event loop.
    NtsKeResult exchange(int port, std::optional<std::int64_t> checkDatesAt = std::nullopt) {
        const InNamespace client(net->client);
        std::optional<NtsKeResult> result;
        QtNtsKeyExchange exchanges;
        exchanges.start({kServer, port, inFolder("ca.crt"), checkDatesAt, 2'000},
                        [&result](NtsKeResult r) { result = std::move(r); });
        lab::runUntil([&result] { return result.has_value(); }, 5'000);
        EXPECT_TRUE(result.has_value()) << "no result within the time-out";
        return result.value_or(NtsKeResult{});
    }
};

// The tool's table below has the checked, untrusted, wrong-name and refused exchanges.
TEST_F(NtsLab, FailedKeyExchangesSayWhy) {
    startChronyd();
    startTlsServer(4462, "server", "");
    startTlsServer(4463, "server", "http/1.1");
    // Connections to this port vanish: no refusal, no answer.
    ASSERT_TRUE(lab::shell("ip netns exec " + net->server +
                           " nft 'add table inet lab; add chain inet lab in { type filter hook "
                           "input priority 0; }; add rule inet lab in tcp dport 4465 drop'"));
    const std::int64_t fiveYears = 5 * 365 * 86'400;
    const std::int64_t now = std::time(nullptr);
    struct Case {
        std::string name;
        NtsKeFailure failure;
        int port = kNtsKePort;
        std::optional<std::int64_t> checkDatesAt{};
    };
    for (const Case& c : std::vector<Case>{
             {"dates five years on", NtsKeFailure::CertificateExpired, kNtsKePort, now + fiveYears},
             {"dates five years back", NtsKeFailure::CertificateExpired, kNtsKePort,
              now - fiveYears},
             {"a server without ALPN", NtsKeFailure::NoAlpn, 4462},
             {"a server with another ALPN name", NtsKeFailure::NoAlpn, 4463},
             {"no answer", NtsKeFailure::TimedOut, 4465},
         }) {
        const NtsKeResult result = exchange(c.port, c.checkDatesAt);
        EXPECT_EQ(result.failure, c.failure) << c.name << ": " << result.detail;
    }
    // Going away cancels a running exchange well before its time-out; its result never comes.
    const InNamespace client(net->client);
    bool done = false;
    const auto started = std::chrono::steady_clock::now();
    {
        QtNtsKeyExchange exchanges;
        exchanges.start({kServer, 4465, "", std::nullopt, 10'000},
                        [&done](const NtsKeResult&) { done = true; });
    }
    lab::runUntil([&done] { return done; }, 300);
    EXPECT_FALSE(done);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

// korvel-cli measures against each server with NTS alone, at the NTP port its key exchange
// names: authenticated replies count (ntpsec without sources answers unsynchronised, which
// counts as flagged), and a key exchange that fails ends the run with its own status and says
// why. Nothing an attacker on the path altered, replayed, swapped or forged counts; the run ends
// as the engine ends it (a NAK or the cookies used up fail the server, with or without the one
// reply the replay left alone).
// A certificate valid only five years on, and a plain server five years ahead: the dates are
// checked again at its time, and the authenticated server disagrees with it.
TEST_F(NtsLab, ToolMeasuresAuthenticatedTimeOrSaysWhyNot) {
    const std::string server = std::string("nts:") + kServer;
    const std::vector<std::string> trusted = {"--nts-ca", inFolder("ca.crt")};
    const std::string other = NamespacePair::kOtherServerAddress;
    const std::string failed =
        "\"replies\":0,\"kissOfDeath\":null,\"authenticated\":false,\"ntsFailure\":";
    struct Case {
        std::string name;
        std::function<void()> start;
        std::string entry;
        std::vector<std::string> options;
        int status;
        std::string said;  // in the JSON object
    };
    for (const Case& c : std::vector<Case>{
             {"chronyd", [this] { startChronyd(); }, server, trusted, 0, "\"authenticated\":true"},
             {"ntpsec", [this] { startNtpsec(); }, server, trusted, 3, "\"authenticated\":true"},
             {"chronyd's NTP at port 4123", [this] { startChronyd("port 4123\n"); }, server,
              trusted, 0, "\"authenticated\":true"},
             {"the test's CA not trusted",
              [this] { startChronyd(); },
              server,
              {},
              15,
              "\"ntsFailure\":\"untrusted\""},
             {"five years behind",
              [this, &other] {
                  startChronyd("", "later");
                  startTool(KORVEL_TEST_RESPONDER, {"--bind", other, "--offset", "157766400.5"});
              },
              server,
              {"--nts-ca", inFolder("ca.crt"), other},
              9,
              "本机时钟比服务器慢 1826 天：NTS 证书的有效期按服务器的时间检查"},
             {"replies altered", [this] { startRelayed("alter"); }, server, trusted, 15,
              failed + "\"cookiesUsedUp\""},
             {"replies replayed", [this] { startRelayed("replay"); }, server, trusted, 2,
              "\"replies\":1,"},
             {"cookies swapped", [this] { startRelayed("swap"); }, server, trusted, 15,
              failed + "\"nak\""},
             {"replies forged", [this] { startRelayed("forge"); }, server, trusted, 15,
              failed + "\"cookiesUsedUp\""},
         }) {
        SCOPED_TRACE(c.name);
        c.start();
        std::vector<std::string> argv = {KORVEL_CLI, "measure", c.entry, "--json"};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        std::string output;
        EXPECT_EQ(runInClient(withoutClockRight(argv), output), c.status) << output;
        EXPECT_NE(output.find(c.said), std::string::npos) << output;
        tools.clear();
    }
}

}  // namespace
}  // namespace korvel
