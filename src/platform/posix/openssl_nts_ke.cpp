#include "platform/posix/openssl_nts_ke.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <variant>

namespace korvel {

namespace {

using Clock = std::chrono::steady_clock;
// The answer is a few cookies; anything much longer is not an NTS-KE server.
constexpr std::size_t kLongestAnswer = 65'536;
// How often a wait looks whether it was cancelled.
constexpr int kPollSliceMs = 100;

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* p) const {
        Free(p);
    }
};
using Context = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>>;
using Connection = std::unique_ptr<SSL, Deleter<SSL_free>>;
using Addresses = std::unique_ptr<addrinfo, Deleter<freeaddrinfo>>;

class Socket {
public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

NtsKeResult failed(NtsKeFailure failure, std::string detail) {
    NtsKeResult result;
    result.failure = failure;
    result.detail = std::move(detail);
    return result;
}

// Waits until the socket is ready for the events; false when the deadline passed or the
// exchange was cancelled.
bool waitFor(int fd, short events, Clock::time_point deadline, const std::atomic<bool>& cancelled) {
    while (!cancelled.load()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd entry{fd, events, 0};
        const int ready =
            ::poll(&entry, 1, static_cast<int>(std::min<long long>(left, kPollSliceMs)));
        if (ready > 0) {
            return true;
        }
        if (ready < 0 && errno != EINTR) {
            return true;  // the next call on the socket reports the error
        }
    }
    return false;
}

// A connected, non-blocking TCP socket to the first address that answers; the failure of
// the last one tried otherwise.
std::variant<std::unique_ptr<Socket>, NtsKeResult> connectTo(const NtsKeTarget& target,
                                                             Clock::time_point deadline,
                                                             const std::atomic<bool>& cancelled) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(target.port);
    if (const int error = ::getaddrinfo(target.host.c_str(), port.c_str(), &hints, &found);
        error != 0) {
        return failed(NtsKeFailure::NameNotResolved, ::gai_strerror(error));
    }
    const Addresses addresses(found);
    NtsKeResult last = failed(NtsKeFailure::Refused, "no address");
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        auto socket = std::make_unique<Socket>(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (socket->fd() < 0) {
            last = failed(NtsKeFailure::Refused, std::strerror(errno));
            continue;
        }
        if (::connect(socket->fd(), a->ai_addr, a->ai_addrlen) != 0 && errno != EINPROGRESS) {
            last = failed(NtsKeFailure::Refused, std::strerror(errno));
            continue;
        }
        if (!waitFor(socket->fd(), POLLOUT, deadline, cancelled)) {
            return failed(NtsKeFailure::TimedOut, "no connection");
        }
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(socket->fd(), SOL_SOCKET, SO_ERROR, &error, &size);
        if (error == 0) {
            return socket;
        }
        last = failed(NtsKeFailure::Refused, std::strerror(error));
    }
    return last;
}

std::string openSslErrors() {
    std::string text;
    while (const unsigned long code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        text += (text.empty() ? "" : "; ") + std::string(line);
    }
    return text;
}

bool isAddress(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// A context for TLS 1.3 alone, trusting the system's store and the extra file.
std::variant<Context, NtsKeResult> clientContext(const NtsKeTarget& target) {
    Context context(SSL_CTX_new(TLS_client_method()));
    if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_3_VERSION) != 1 ||
        SSL_CTX_set_max_proto_version(context.get(), TLS1_3_VERSION) != 1 ||
        SSL_CTX_set_default_verify_paths(context.get()) != 1) {
        return failed(NtsKeFailure::TlsFailed, openSslErrors());
    }
    if (!target.extraTrustFile.empty() &&
        SSL_CTX_load_verify_locations(context.get(), target.extraTrustFile.c_str(), nullptr) != 1) {
        return failed(NtsKeFailure::Untrusted,
                      "cannot read " + target.extraTrustFile + ": " + openSslErrors());
    }
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    static const unsigned char alpn[] = {7, 'n', 't', 's', 'k', 'e', '/', '1'};
    SSL_CTX_set_alpn_protos(context.get(), alpn, sizeof alpn);
    return context;
}

// The connection, set to check the certificate's name (or address) and, where asked, its
// dates at another time.
Connection connectionFor(SSL_CTX* context, const NtsKeTarget& target, int fd) {
    Connection ssl(SSL_new(context));
    if (!ssl || SSL_set_fd(ssl.get(), fd) != 1) {
        return nullptr;
    }
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl.get());
    if (isAddress(target.host)) {
        if (X509_VERIFY_PARAM_set1_ip_asc(param, target.host.c_str()) != 1) {
            return nullptr;
        }
    } else if (SSL_set_tlsext_host_name(ssl.get(), target.host.c_str()) != 1 ||
               SSL_set1_host(ssl.get(), target.host.c_str()) != 1) {
        return nullptr;
    }
    if (target.checkDatesAtUnixSec.has_value()) {
        X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(*target.checkDatesAtUnixSec));
    }
    return ssl;
}

NtsKeFailure certificateFailure(long verifyResult) {
    switch (verifyResult) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return NtsKeFailure::CertificateExpired;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return NtsKeFailure::WrongName;
        default:
            return NtsKeFailure::Untrusted;
    }
}

// Runs one TLS step (handshake, write, read) until it stops asking to wait; its return value,
// or 0 after a time-out or cancellation (timedOut says which).
template <typename Step>
int runStep(SSL* ssl, int fd, Clock::time_point deadline, const std::atomic<bool>& cancelled,
            bool& timedOut, Step step) {
    for (;;) {
        ERR_clear_error();
        const int result = step();
        if (result > 0) {
            return result;
        }
        const int error = SSL_get_error(ssl, result);
        const short events = error == SSL_ERROR_WANT_READ    ? POLLIN
                             : error == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                             : 0;
        if (events == 0) {
            return result;
        }
        if (!waitFor(fd, events, deadline, cancelled)) {
            timedOut = true;
            return 0;
        }
    }
}

NtsKeResult handshakeFailure(SSL* ssl) {
    const std::string errors = openSslErrors();
    if (const long verify = SSL_get_verify_result(ssl); verify != X509_V_OK) {
        return failed(certificateFailure(verify), X509_verify_cert_error_string(verify));
    }
    // The server knows ALPN but not ntske/1.
    if (errors.find("no application protocol") != std::string::npos) {
        return failed(NtsKeFailure::NoAlpn, errors);
    }
    if (errors.empty()) {
        return failed(NtsKeFailure::Refused, "connection closed during the handshake");
    }
    return failed(NtsKeFailure::TlsFailed, errors);
}

Bytes exportedKey(SSL* ssl, NtsDirection direction) {
    Bytes key(kNtsKeyBytes);
    const Bytes context = ntsExporterContext(direction);
    if (SSL_export_keying_material(ssl, key.data(), key.size(), kNtsExporterLabel,
                                   std::strlen(kNtsExporterLabel), context.data(), context.size(),
                                   1) != 1) {
        return {};
    }
    return key;
}

}  // namespace

NtsKeResult exchangeNtsKeys(const NtsKeTarget& target, const std::atomic<bool>& cancelled) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(target.timeoutMs);
    auto contextOrFailure = clientContext(target);
    if (auto* failure = std::get_if<NtsKeResult>(&contextOrFailure)) {
        return *failure;
    }
    auto socketOrFailure = connectTo(target, deadline, cancelled);
    if (auto* failure = std::get_if<NtsKeResult>(&socketOrFailure)) {
        return *failure;
    }
    const int fd = std::get<std::unique_ptr<Socket>>(socketOrFailure)->fd();
    const Connection ssl = connectionFor(std::get<Context>(contextOrFailure).get(), target, fd);
    if (!ssl) {
        return failed(NtsKeFailure::TlsFailed, openSslErrors());
    }
    bool timedOut = false;
    const auto timeOut = [] { return failed(NtsKeFailure::TimedOut, "no answer in time"); };
    if (runStep(ssl.get(), fd, deadline, cancelled, timedOut,
                [&] { return SSL_connect(ssl.get()); }) != 1) {
        return timedOut ? timeOut() : handshakeFailure(ssl.get());
    }
    const unsigned char* protocol = nullptr;
    unsigned int protocolLength = 0;
    SSL_get0_alpn_selected(ssl.get(), &protocol, &protocolLength);
    if (std::string(reinterpret_cast<const char*>(protocol), protocolLength) != kNtsAlpn) {
        return failed(NtsKeFailure::NoAlpn, "the server chose no ntske/1");
    }
    const Bytes request = ntsKeRequest();
    if (runStep(ssl.get(), fd, deadline, cancelled, timedOut, [&] {
            return SSL_write(ssl.get(), request.data(), static_cast<int>(request.size()));
        }) <= 0) {
        return timedOut ? timeOut() : failed(NtsKeFailure::Refused, openSslErrors());
    }
    Bytes stream;
    NtsKeResult result;
    result.answer = parseNtsKeAnswer(stream);
    while (result.answer.fault == NtsKeAnswerFault::Incomplete && stream.size() < kLongestAnswer) {
        unsigned char chunk[4096];
        const int read = runStep(ssl.get(), fd, deadline, cancelled, timedOut,
                                 [&] { return SSL_read(ssl.get(), chunk, sizeof chunk); });
        if (read <= 0) {
            if (timedOut) {
                return timeOut();
            }
            break;  // the server closed before its end-of-message record
        }
        stream.insert(stream.end(), chunk, chunk + read);
        result.answer = parseNtsKeAnswer(stream);
    }
    if (result.answer.fault != NtsKeAnswerFault::None) {
        result.failure = NtsKeFailure::BadAnswer;
        return result;
    }
    result.clientToServerKey = exportedKey(ssl.get(), NtsDirection::ClientToServer);
    result.serverToClientKey = exportedKey(ssl.get(), NtsDirection::ServerToClient);
    if (result.clientToServerKey.empty() || result.serverToClientKey.empty()) {
        return failed(NtsKeFailure::TlsFailed, "no keys exported: " + openSslErrors());
    }
    SSL_shutdown(ssl.get());
    return result;
}

}  // namespace korvel
