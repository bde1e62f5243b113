// The Windows side of the NTS key exchange: its TCP connection, and the trust anchors of the
// Windows root store, which OpenSSL cannot read by itself.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come before windows.h.
#include <wincrypt.h>

#include <openssl/x509.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/crypto/openssl_nts_ke.h"

namespace korvel {

namespace {

// How often a wait looks whether it was cancelled.
constexpr int kPollSliceMs = 100;

struct FreeAddresses {
    void operator()(addrinfo* addresses) const { freeaddrinfo(addresses); }
};

std::string socketError(int code) {
    return "Winsock error " + std::to_string(code);
}

class Win32TcpConnection final : public TcpConnection {
public:
    explicit Win32TcpConnection(SOCKET socket) : m_socket(socket) {}
    ~Win32TcpConnection() override {
        if (m_socket != INVALID_SOCKET) {
            closesocket(m_socket);
        }
    }
    Win32TcpConnection(const Win32TcpConnection&) = delete;
    Win32TcpConnection& operator=(const Win32TcpConnection&) = delete;

    bool valid() const { return m_socket != INVALID_SOCKET; }
    SOCKET socket() const { return m_socket; }
    // OpenSSL takes a Windows socket as an int; its values fit.
    int handle() const override { return static_cast<int>(m_socket); }

    bool waitUntilReady(bool forWriting, NtsKeClock::time_point deadline,
                        const std::atomic<bool>& cancelled) const override {
        while (!cancelled.load()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - NtsKeClock::now())
                    .count();
            if (left <= 0) {
                return false;
            }
            // select, not WSAPoll: WSAPoll never reports a refused connection on Windows
            // before 10 2004; select puts it in the exception set.
            fd_set ready;
            fd_set failed;
            FD_ZERO(&ready);
            FD_ZERO(&failed);
            FD_SET(m_socket, &ready);
            FD_SET(m_socket, &failed);
            const long slice = static_cast<long>(std::min<long long>(left, kPollSliceMs));
            timeval wait{0, slice * 1000};
            if (select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr, &failed,
                       &wait) != 0) {
                return true;
            }
        }
        return false;
    }

private:
    SOCKET m_socket;
};

}  // namespace

std::variant<std::unique_ptr<TcpConnection>, NtsKeResult> connectTcp(
    const NtsKeTarget& target, NtsKeClock::time_point deadline,
    const std::atomic<bool>& cancelled) {
    // Counted by Winsock: this thread's start and end pair with the program's own.
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    struct Cleanup {
        ~Cleanup() { WSACleanup(); }
    } cleanup;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(target.port);
    if (const int error = getaddrinfo(target.host.c_str(), port.c_str(), &hints, &found);
        error != 0) {
        return ntsKeFailed(NtsKeFailure::NameNotResolved, socketError(error));
    }
    const std::unique_ptr<addrinfo, FreeAddresses> addresses(found);
    NtsKeResult last = ntsKeFailed(NtsKeFailure::Refused, "no address");
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        auto connection = std::make_unique<Win32TcpConnection>(
            ::socket(a->ai_family, a->ai_socktype, a->ai_protocol));
        u_long nonBlocking = 1;
        if (!connection->valid() || ioctlsocket(connection->socket(), FIONBIO, &nonBlocking) != 0) {
            last = ntsKeFailed(NtsKeFailure::Refused, socketError(WSAGetLastError()));
            continue;
        }
        if (connect(connection->socket(), a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0 &&
            WSAGetLastError() != WSAEWOULDBLOCK) {
            last = ntsKeFailed(NtsKeFailure::Refused, socketError(WSAGetLastError()));
            continue;
        }
        if (!connection->waitUntilReady(true, deadline, cancelled)) {
            return ntsKeFailed(NtsKeFailure::TimedOut, "no connection");
        }
        int error = 0;
        int size = sizeof error;
        getsockopt(connection->socket(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                   &size);
        if (error == 0) {
            return connection;
        }
        last = ntsKeFailed(NtsKeFailure::Refused, socketError(error));
    }
    return last;
}

// Every certificate of the user's and the machine's "ROOT" store, as OpenSSL's anchors.
bool addSystemTrustAnchors(SSL_CTX* context) {
    HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
    if (store == nullptr) {
        return false;
    }
    X509_STORE* anchors = SSL_CTX_get_cert_store(context);
    for (PCCERT_CONTEXT certificate = CertEnumCertificatesInStore(store, nullptr);
         certificate != nullptr; certificate = CertEnumCertificatesInStore(store, certificate)) {
        const unsigned char* encoded = certificate->pbCertEncoded;
        // One the library cannot read (or has already) is passed over.
        if (X509* x509 = d2i_X509(nullptr, &encoded, certificate->cbCertEncoded)) {
            X509_STORE_add_cert(anchors, x509);
            X509_free(x509);
        }
    }
    CertCloseStore(store, 0);
    return true;
}

}  // namespace korvel
