#include "harness/lab_fixture.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/utf8_text.h"
#include "settings/config_file.h"

namespace korvel::lab {

std::string configLine(const std::string& address, int port) {
    return formatConfigLine(padRight(address, kAddressFieldWidth),
                            padRight(std::to_string(port), kPortFieldWidth));
}

std::vector<std::string> fileLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

double printedOffset(const std::string& output) {
    const auto at = output.find("offset ");
    return at == std::string::npos ? std::nan("") : std::stod(output.substr(at + 7));
}

void LabTest::SetUp() {
    ASSERT_EQ(::geteuid(), 0u)
        << "the hostile-network suite runs as root: it makes network namespaces";
    net = std::make_unique<NamespacePair>();
    ASSERT_EQ(net->error(), "") << "network namespaces could not be made";
    folder = std::make_unique<test::TempFolder>();
    // The user's own folders inside the test's, never the real user's.
    ::setenv("XDG_CONFIG_HOME", inFolder("config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", inFolder("data").c_str(), 1);
    std::filesystem::create_directory(inFolder("runtime"));
    std::filesystem::permissions(inFolder("runtime"), std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", inFolder("runtime").c_str(), 1);
}

void LabTest::TearDown() {
    tools.clear();
    net.reset();
    folder.reset();
}

void LabTest::startTool(const std::string& path, std::vector<std::string> args) {
    args.insert(args.begin(), path);
    tools.push_back(std::make_unique<ChildProcess>(net->server(), std::move(args)));
    EXPECT_TRUE(tools.back()->waitReady()) << path << " did not start";
}

void LabTest::startResponder(std::vector<std::string> args) {
    args.insert(args.begin(), {"--bind", NamespacePair::kServerAddress});
    startTool(KORVEL_TEST_RESPONDER, std::move(args));
}

void LabTest::startRelayedResponder(std::vector<std::string> args, const std::string& condition) {
    args.insert(args.begin(), {"--bind", "127.0.0.1"});
    startTool(KORVEL_TEST_RESPONDER, std::move(args));
    startTool(KORVEL_TEST_RELAY,
              {"--listen", std::string(NamespacePair::kServerAddress) + ":123", "--upstream",
               "127.0.0.1:123", "--condition", condition, "--seed", "1"});
}

int LabTest::runInClient(std::vector<std::string> argv, std::string& output) {
    ChildProcess process(net->client(), std::move(argv));
    const int status = process.wait(20'000);
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
