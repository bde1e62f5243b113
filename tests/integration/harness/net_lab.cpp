#include "harness/net_lab.h"

#include <unistd.h>

#include <QDeadlineTimer>

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

NamespacePair::NamespacePair() {
    // Unique per process, so parallel tests never meet.
    const std::string tag = "kv" + std::to_string(::getpid());
    m_client = tag + "c";
    m_server = tag + "s";
    const std::string c = m_client, s = m_server, a = tag + "a", b = tag + "b";
    const std::string steps[] = {
        "ip netns add " + c,
        "ip netns add " + s,
        "ip link add " + a + " netns " + c + " type veth peer name " + b + " netns " + s,
        "ip -n " + c + " link set lo up",
        "ip -n " + s + " link set lo up",
        "ip -n " + c + " addr add " + kClientAddress + "/24 dev " + a,
        "ip -n " + s + " addr add " + kServerAddress + "/24 dev " + b,
        "ip -n " + s + " addr add " + kOtherServerAddress + "/24 dev " + b,
        "ip -n " + c + " link set " + a + " up",
        "ip -n " + s + " link set " + b + " up",
    };
    // Leftovers of an earlier process with this PID go first. The shell traces each step, so
    // on failure the output ends at the step that failed.
    std::string script = "ip netns del " + c + " 2>/dev/null; ip netns del " + s + " 2>/dev/null";
    script += "; set -ex";
    for (const std::string& step : steps) {
        script += "; " + step;
    }
    if (std::string output; !shell(script, &output)) {
        m_error = output;
    }
}

NamespacePair::~NamespacePair() {
    // Deleting a namespace removes its veth end and with it the peer.
    shell("ip netns del " + m_client + "; ip netns del " + m_server + "; rm -rf " + clientEtc());
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

bool ChildProcess::waitReady(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (output().find("ready\n") == std::string::npos) {
        if (deadline.hasExpired() ||
            !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            return false;
        }
    }
    return true;
}

ChildProcess::~ChildProcess() {
    if (running()) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

int ChildProcess::wait(int timeoutMs) {
    if (running() && !m_process.waitForFinished(timeoutMs)) {
        return -1;
    }
    output();
    const bool exited = m_process.error() != QProcess::FailedToStart &&
                        m_process.exitStatus() == QProcess::NormalExit;
    return exited ? m_process.exitCode() : -1;
}

}  // namespace korvel::lab
