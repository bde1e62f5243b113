#include "harness/net_lab.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace korvel::lab {

namespace {

long monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1'000'000L;
}

}  // namespace

bool shell(const std::string& command, std::string* output) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return false;
    }
    std::string text;
    char chunk[512];
    while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
        text += chunk;
    }
    const int status = ::pclose(pipe);
    if (output != nullptr) {
        *output = text;
    }
    return status == 0;
}

NamespacePair::NamespacePair() {
    // Unique per process, so parallel tests never meet.
    const std::string tag = "kv" + std::to_string(::getpid());
    m_client = tag + "c";
    m_server = tag + "s";
    const std::string a = tag + "a";
    const std::string b = tag + "b";
    const std::string cidr = "/24";
    run("ip netns del " + m_client + " 2>/dev/null; ip netns del " + m_server +
        " 2>/dev/null; true");
    // The first failing step is kept in m_error; the test reports it.
    [[maybe_unused]] const bool made =
        run("ip netns add " + m_client) && run("ip netns add " + m_server) &&
        run("ip link add " + a + " netns " + m_client + " type veth peer name " + b + " netns " +
            m_server) &&
        run("ip -n " + m_client + " link set lo up") &&
        run("ip -n " + m_server + " link set lo up") &&
        run("ip -n " + m_client + " addr add " + kClientAddress + cidr + " dev " + a) &&
        run("ip -n " + m_server + " addr add " + kServerAddress + cidr + " dev " + b) &&
        run("ip -n " + m_server + " addr add " + kOtherServerAddress + cidr + " dev " + b) &&
        run("ip -n " + m_client + " link set " + a + " up") &&
        run("ip -n " + m_server + " link set " + b + " up");
}

NamespacePair::~NamespacePair() {
    leave();
    // Deleting a namespace removes its veth end and with it the peer.
    shell("ip netns del " + m_client);
    shell("ip netns del " + m_server);
}

bool NamespacePair::run(const std::string& command) {
    std::string output;
    if (shell(command, &output)) {
        return true;
    }
    if (m_error.empty()) {
        m_error = "'" + command + "' failed: " + output;
    }
    return false;
}

bool NamespacePair::enterClient() {
    if (m_home < 0) {
        m_home = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    }
    const int fd = ::open(("/run/netns/" + m_client).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        m_error = "cannot open the client namespace: " + std::string(std::strerror(errno));
        return false;
    }
    const bool entered = ::setns(fd, CLONE_NEWNET) == 0;
    if (!entered) {
        m_error = "setns: " + std::string(std::strerror(errno));
    }
    ::close(fd);
    return entered;
}

void NamespacePair::leave() {
    if (m_home >= 0) {
        ::setns(m_home, CLONE_NEWNET);
        ::close(m_home);
        m_home = -1;
    }
}

ChildProcess::ChildProcess(const std::string& netns, std::vector<std::string> argv) {
    if (!netns.empty()) {
        argv.insert(argv.begin(), {"ip", "netns", "exec", netns});
    }
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        std::vector<char*> args;
        for (auto& arg : argv) {
            args.push_back(arg.data());
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::perror("execvp");
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    m_stdout = pipeFds[0];
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGTERM);
        if (wait(2000) == -1 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    if (m_stdout >= 0) {
        ::close(m_stdout);
    }
}

void ChildProcess::signal(int number) {
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, number);
    }
}

bool ChildProcess::readSome(int timeoutMs) {
    pollfd fd{m_stdout, POLLIN, 0};
    if (m_stdout < 0 || ::poll(&fd, 1, timeoutMs) <= 0) {
        return false;
    }
    char chunk[4096];
    const ssize_t got = ::read(m_stdout, chunk, sizeof chunk);
    if (got <= 0) {
        ::close(m_stdout);
        m_stdout = -1;
        return false;
    }
    m_output.append(chunk, static_cast<std::size_t>(got));
    return true;
}

bool ChildProcess::waitReady(int timeoutMs) {
    const long deadline = monotonicMs() + timeoutMs;
    while (m_output.find("ready\n") == std::string::npos) {
        const long left = deadline - monotonicMs();
        if (left <= 0 || !readSome(static_cast<int>(left))) {
            return false;
        }
    }
    return true;
}

int ChildProcess::wait(int timeoutMs) {
    const long deadline = monotonicMs() + timeoutMs;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_reaped = true;
            while (readSome(0)) {
            }
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        const long left = deadline - monotonicMs();
        if (left <= 0) {
            return -1;
        }
        if (!readSome(static_cast<int>(std::min(left, 20L)))) {
            ::usleep(5000);
        }
    }
}

}  // namespace korvel::lab
