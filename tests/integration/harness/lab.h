#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace korvel::lab {

// Two network namespaces joined by a veth pair, made for one test and removed after it:
//   client  198.18.0.1/24  (the program runs here)
//   server  198.18.0.2/24 and 198.18.0.3/24  (responders, relay)
// Both have loopback up. Nothing here reaches the machine's own network.
class NamespacePair {
public:
    static constexpr const char* kClientAddress = "198.18.0.1";
    static constexpr const char* kServerAddress = "198.18.0.2";
    static constexpr const char* kOtherServerAddress = "198.18.0.3";

    NamespacePair();
    ~NamespacePair();
    NamespacePair(const NamespacePair&) = delete;
    NamespacePair& operator=(const NamespacePair&) = delete;

    // Where files that commands run in the client namespace see in /etc go (hosts,
    // resolv.conf); removed with the namespaces.
    std::string clientEtc() const { return "/etc/netns/" + client; }

    std::string client;
    std::string server;
    std::string error;  // empty when the namespaces stand; otherwise what failed
};

// A program started inside a namespace (or in this one, for an empty name); killed by its PID
// when this object goes, if it still runs. Its standard error passes through.
class ChildProcess {
public:
    ChildProcess(const std::string& netns, std::vector<std::string> argv);
    ~ChildProcess();

    // Waits for the tool's "ready" line; false on time-out or early exit.
    bool waitReady();
    // Waits for the end (20 s at most): the exit status, or -1 on time-out or a signal.
    int wait();
    // Standard output so far.
    const std::string& output();

private:
    QProcess m_process;
    std::string m_output;
};

// Runs a shell command; true when it exits 0.
bool shell(const std::string& command, std::string* output = nullptr);
// Turns the event loop until done() or the time is up.
void runUntil(const std::function<bool()>& done, int timeoutMs);

// A dbus-daemon of the test's own, listening on a socket in the given folder, standing in for
// the system bus: any user may connect and own any name on it. Stopped when this object goes.
class PrivateBus {
public:
    explicit PrivateBus(const std::filesystem::path& folder);

    std::string address() const { return "unix:path=" + (m_folder / "socket").string(); }

private:
    std::filesystem::path m_folder;
    std::unique_ptr<ChildProcess> m_daemon;
};

// A test in its own pair of network namespaces, its tools in the server one and the program in
// the client one, with folders of its own. Needs root; fails, never skips, without it.
class LabTest : public ::testing::Test {
protected:
    void SetUp() override;

    // A test tool in the server namespace, waited for until it is ready.
    void startTool(const std::string& path, std::vector<std::string> args);
    // The responder serving the client directly.
    void startResponder(std::vector<std::string> args);
    // Runs a command in the client namespace to its end (20 s at most).
    int runInClient(std::vector<std::string> argv, std::string& output);
    // The command, with the right to set the clock dropped and checked gone, its standard
    // error merged into its standard output.
    static std::vector<std::string> withoutClockRight(std::vector<std::string> argv);

    // A path in the test's own folder.
    std::string inFolder(const std::string& name) const { return folder->path() / name; }

    // Destroyed in the reverse order: the tools first, then the namespaces, then the folder.
    std::unique_ptr<test::TempFolder> folder;
    std::unique_ptr<NamespacePair> net;
    std::vector<std::unique_ptr<ChildProcess>> tools;
};

std::string configLine(const std::string& address, int port);

}  // namespace korvel::lab
