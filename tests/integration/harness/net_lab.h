#pragma once

#include <QProcess>
#include <string>
#include <vector>

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

    // Empty when the namespaces stand; otherwise what failed.
    const std::string& error() const { return m_error; }
    const std::string& client() const { return m_client; }
    const std::string& server() const { return m_server; }
    // Where files that commands run in the client namespace see in /etc go (hosts,
    // resolv.conf); removed with the namespaces.
    std::string clientEtc() const { return "/etc/netns/" + m_client; }

private:
    std::string m_client;
    std::string m_server;
    std::string m_error;
};

// A program started inside a namespace (or in this one, for an empty name); killed by its PID
// when this object goes, if it still runs. Its standard error passes through.
class ChildProcess {
public:
    ChildProcess(const std::string& netns, std::vector<std::string> argv);
    ~ChildProcess();

    // Waits for the tool's "ready" line; false on time-out or early exit.
    bool waitReady(int timeoutMs = 5000);
    // Waits for the end: the exit status, or -1 on time-out or a signal.
    int wait(int timeoutMs);
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    // Standard output so far.
    const std::string& output();

private:
    QProcess m_process;
    std::string m_output;
};

// Runs a shell command; true when it exits 0.
bool shell(const std::string& command, std::string* output = nullptr);

}  // namespace korvel::lab
