#include "harness/lab.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "common/utf8_text.h"
#include "settings/config_file.h"
#include "support/system_bus_guard.h"

namespace korvel::lab {

bool shell(const std::string& command, std::string* output) {
    QProcess sh;
    sh.setProcessChannelMode(QProcess::MergedChannels);
    sh.start("sh", {"-c", QString::fromStdString(command)});
    const bool finished = sh.waitForFinished();
    if (output != nullptr) {
        *output = sh.readAll().toStdString();
    }
    return finished && sh.exitStatus() == QProcess::NormalExit && sh.exitCode() == 0;
}

void runUntil(const std::function<bool()>& done, int timeoutMs) {
    for (const QDeadlineTimer deadline(timeoutMs); !done() && !deadline.hasExpired();) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

NamespacePair::NamespacePair() {
    // Unique per process, so parallel tests never meet.
    const std::string tag = "kv" + std::to_string(::getpid());
    client = tag + "c";
    server = tag + "s";
    // Leftovers of an earlier process with this PID go first. The shell traces each step, so
    // on failure the output ends at the step that failed.
    const std::string script =
        "c=" + client + " s=" + server + " a=" + tag + "a b=" + tag + "b; " +
        "ip netns del $c 2>/dev/null; ip netns del $s 2>/dev/null; set -ex; ip netns add $c; " +
        "ip netns add $s; ip link add $a netns $c type veth peer name $b netns $s; " +
        "ip -n $c link set lo up; ip -n $s link set lo up; ip -n $c link set $a up; " +
        "ip -n $s link set $b up; ip -n $c addr add " + kClientAddress + "/24 dev $a; " +
        "ip -n $s addr add " + kServerAddress + "/24 dev $b; ip -n $s addr add " +
        kOtherServerAddress + "/24 dev $b";
    if (std::string output; !shell(script, &output)) {
        error = output;
    }
}

NamespacePair::~NamespacePair() {
    // Deleting a namespace removes its veth end and with it the peer.
    shell("ip netns del " + client + "; ip netns del " + server + "; rm -rf " + clientEtc());
}

ChildProcess::ChildProcess(const std::string& netns, std::vector<std::string> argv) {
    if (!netns.empty()) {
        argv.insert(argv.begin(), {"ip", "netns", "exec", netns});
    }
    QStringList args;
    for (std::size_t i = 1; i < argv.size(); ++i) {
        args << QString::fromStdString(argv[i]);
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QString::fromStdString(argv[0]), args);
}

const std::string& ChildProcess::output() {
    m_output += m_process.readAllStandardOutput().toStdString();
    return m_output;
}

bool ChildProcess::waitReady() {
    const QDeadlineTimer deadline(5000);
    while (output().find("ready\n") == std::string::npos) {
        if (deadline.hasExpired() ||
            !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            return false;
        }
    }
    return true;
}

ChildProcess::~ChildProcess() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

int ChildProcess::wait() {
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(20'000)) {
        return -1;
    }
    output();
    const bool exited = m_process.error() != QProcess::FailedToStart &&
                        m_process.exitStatus() == QProcess::NormalExit;
    return exited ? m_process.exitCode() : -1;
}

PrivateBus::PrivateBus(const std::filesystem::path& folder) : m_folder(folder) {
    std::filesystem::create_directories(folder);
    std::filesystem::remove(folder / "socket");
    const std::filesystem::path config = folder / "bus.conf";
    std::ofstream(config) << "<busconfig><type>system</type><listen>" << address()
                          << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                             "<allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\"/>"
                             "<allow receive_sender=\"*\"/></policy></busconfig>\n";
    m_daemon = std::make_unique<ChildProcess>(
        "",
        std::vector<std::string>{"dbus-daemon", "--nofork", "--config-file=" + config.string()});
    for (int i = 0; i < 250 && !std::filesystem::exists(folder / "socket"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string configLine(const std::string& address, int port) {
    return formatConfigLine(padRight(address, kAddressFieldWidth),
                            padRight(std::to_string(port), kPortFieldWidth));
}

void LabTest::SetUp() {
    ASSERT_EQ(::geteuid(), 0u)
        << "the hostile-network suite runs as root: it makes network namespaces";
    net = std::make_unique<NamespacePair>();
    ASSERT_EQ(net->error, "") << "network namespaces could not be made";
    folder = std::make_unique<test::TempFolder>();
    // The user's own folders inside the test's, never the real user's.
    ::setenv("XDG_CONFIG_HOME", inFolder("config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", inFolder("data").c_str(), 1);
    std::filesystem::create_directory(inFolder("runtime"));
    std::filesystem::permissions(inFolder("runtime"), std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", inFolder("runtime").c_str(), 1);
}

void LabTest::startTool(const std::string& path, std::vector<std::string> args) {
    args.insert(args.begin(), path);
    tools.push_back(std::make_unique<ChildProcess>(net->server, std::move(args)));
    EXPECT_TRUE(tools.back()->waitReady()) << path << " did not start";
}

void LabTest::startResponder(std::vector<std::string> args) {
    args.insert(args.begin(), {"--bind", NamespacePair::kServerAddress});
    startTool(KORVEL_TEST_RESPONDER, std::move(args));
}

int LabTest::runInClient(std::vector<std::string> argv, std::string& output) {
    ChildProcess process(net->client, std::move(argv));
    const int status = process.wait();
    output = process.output();
    return status;
}

std::vector<std::string> LabTest::withoutClockRight(std::vector<std::string> argv) {
    const std::string guard =
        "capsh --has-p=cap_sys_time && { echo 'CAP_SYS_TIME still held'; exit 97; }; "
        "capsh --has-b=cap_sys_time && { echo 'CAP_SYS_TIME still in the bounding set'; exit 98; "
        "}; exec \"$0\" \"$@\" 2>&1";
    argv.insert(argv.begin(), {"setpriv", "--bounding-set", "-sys_time", "--inh-caps", "-sys_time",
                               "--no-new-privs", "sh", "-c", guard});
    return argv;
}

}  // namespace korvel::lab

// The suites' main(): an event loop for the Qt platform, and a mount namespace of the test's
// own so that the file cases' mounts vanish with the process.
int main(int argc, char** argv) {
    // Before any thread exists. Without root the tests themselves fail and say why.
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0) {
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    }
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new korvel::test::SystemBusGuard);
    return RUN_ALL_TESTS();
}
