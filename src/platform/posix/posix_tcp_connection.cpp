// The Linux side of the NTS key exchange: its TCP connection and the system's trust store.
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "platform/crypto/openssl_nts_ke.h"

namespace korvel {

namespace {

// How often a wait looks whether it was cancelled.
constexpr int kPollSliceMs = 100;

struct FreeAddresses {
    void operator()(addrinfo* addresses) const { ::freeaddrinfo(addresses); }
};

class PosixTcpConnection final : public TcpConnection {
public:
    explicit PosixTcpConnection(int fd) : m_fd(fd) {}
    ~PosixTcpConnection() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    PosixTcpConnection(const PosixTcpConnection&) = delete;
    PosixTcpConnection& operator=(const PosixTcpConnection&) = delete;

    int handle() const override { return m_fd; }

    bool waitUntilReady(bool forWriting, NtsKeClock::time_point deadline,
                        const std::atomic<bool>& cancelled) const override {
        while (!cancelled.load()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - NtsKeClock::now())
                    .count();
            if (left <= 0) {
                return false;
            }
            pollfd entry{m_fd, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
            const int ready =
                ::poll(&entry, 1, static_cast<int>(std::min<long long>(left, kPollSliceMs)));
            if (ready > 0 || (ready < 0 && errno != EINTR)) {
                return true;
            }
        }
        return false;
    }

private:
    int m_fd;
};

}  // namespace

std::variant<std::unique_ptr<TcpConnection>, NtsKeResult> connectTcp(
    const NtsKeTarget& target, NtsKeClock::time_point deadline,
    const std::atomic<bool>& cancelled) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(target.port);
    if (const int error = ::getaddrinfo(target.host.c_str(), port.c_str(), &hints, &found);
        error != 0) {
        return ntsKeFailed(NtsKeFailure::NameNotResolved, ::gai_strerror(error));
    }
    const std::unique_ptr<addrinfo, FreeAddresses> addresses(found);
    NtsKeResult last = ntsKeFailed(NtsKeFailure::Refused, "no address");
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        auto connection = std::make_unique<PosixTcpConnection>(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (connection->handle() < 0) {
            last = ntsKeFailed(NtsKeFailure::Refused, std::strerror(errno));
            continue;
        }
        if (::connect(connection->handle(), a->ai_addr, a->ai_addrlen) != 0 &&
            errno != EINPROGRESS) {
            last = ntsKeFailed(NtsKeFailure::Refused, std::strerror(errno));
            continue;
        }
        if (!connection->waitUntilReady(true, deadline, cancelled)) {
            return ntsKeFailed(NtsKeFailure::TimedOut, "no connection");
        }
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(connection->handle(), SOL_SOCKET, SO_ERROR, &error, &size);
        if (error == 0) {
            return connection;
        }
        last = ntsKeFailed(NtsKeFailure::Refused, std::strerror(error));
    }
    return last;
}

// Debian's ca-certificates, where OpenSSL looks by default.
bool addSystemTrustAnchors(SSL_CTX* context) {
    return SSL_CTX_set_default_verify_paths(context) == 1;
}

}  // namespace korvel
