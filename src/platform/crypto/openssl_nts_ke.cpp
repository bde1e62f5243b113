#include "platform/crypto/openssl_nts_ke.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <variant>

namespace korvel {

namespace {

// The answer is a few cookies; anything much longer is not an NTS-KE server.
constexpr std::size_t kLongestAnswer = 65'536;

template <auto Free>
struct Deleter {
    template <typename T>
    void operator()(T* p) const {
        Free(p);
    }
};
using Context = std::unique_ptr<SSL_CTX, Deleter<SSL_CTX_free>>;
using Connection = std::unique_ptr<SSL, Deleter<SSL_free>>;
using IpAddress = std::unique_ptr<ASN1_OCTET_STRING, Deleter<ASN1_OCTET_STRING_free>>;

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
    return IpAddress(a2i_IPADDRESS(host.c_str())) != nullptr;
}

// A context for TLS 1.3 alone, trusting the system's store and the extra file.
std::variant<Context, NtsKeResult> clientContext(const NtsKeTarget& target) {
    Context context(SSL_CTX_new(TLS_client_method()));
    if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_3_VERSION) != 1 ||
        SSL_CTX_set_max_proto_version(context.get(), TLS1_3_VERSION) != 1 ||
        !addSystemTrustAnchors(context.get())) {
        return ntsKeFailed(NtsKeFailure::TlsFailed, openSslErrors());
    }
    if (!target.extraTrustFile.empty() &&
        SSL_CTX_load_verify_locations(context.get(), target.extraTrustFile.c_str(), nullptr) != 1) {
        return ntsKeFailed(NtsKeFailure::Untrusted,
                           "cannot read " + target.extraTrustFile + ": " + openSslErrors());
    }
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    static const unsigned char alpn[] = {7, 'n', 't', 's', 'k', 'e', '/', '1'};
    SSL_CTX_set_alpn_protos(context.get(), alpn, sizeof alpn);
    return context;
}

// The connection, set to check the certificate's name (or address) and, where asked, its
// dates at another time.
Connection connectionFor(SSL_CTX* context, const NtsKeTarget& target, int handle) {
    Connection ssl(SSL_new(context));
    if (!ssl || SSL_set_fd(ssl.get(), handle) != 1) {
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
int runStep(SSL* ssl, const TcpConnection& connection, NtsKeClock::time_point deadline,
            const std::atomic<bool>& cancelled, bool& timedOut, Step step) {
    for (;;) {
        ERR_clear_error();
        const int result = step();
        if (result > 0) {
            return result;
        }
        const int error = SSL_get_error(ssl, result);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            return result;
        }
        if (!connection.waitUntilReady(error == SSL_ERROR_WANT_WRITE, deadline, cancelled)) {
            timedOut = true;
            return 0;
        }
    }
}

NtsKeResult handshakeFailure(SSL* ssl) {
    const std::string errors = openSslErrors();
    if (const long verify = SSL_get_verify_result(ssl); verify != X509_V_OK) {
        return ntsKeFailed(certificateFailure(verify), X509_verify_cert_error_string(verify));
    }
    // The server knows ALPN but not ntske/1.
    if (errors.find("no application protocol") != std::string::npos) {
        return ntsKeFailed(NtsKeFailure::NoAlpn, errors);
    }
    if (errors.empty()) {
        return ntsKeFailed(NtsKeFailure::Refused, "connection closed during the handshake");
    }
    return ntsKeFailed(NtsKeFailure::TlsFailed, errors);
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

NtsKeResult ntsKeFailed(NtsKeFailure failure, std::string detail) {
    NtsKeResult result;
    result.failure = failure;
    result.detail = std::move(detail);
    return result;
}

NtsKeResult exchangeNtsKeys(const NtsKeTarget& target, const std::atomic<bool>& cancelled) {
    const NtsKeClock::time_point deadline =
        NtsKeClock::now() + std::chrono::milliseconds(target.timeoutMs);
    auto contextOrFailure = clientContext(target);
    if (auto* failure = std::get_if<NtsKeResult>(&contextOrFailure)) {
        return *failure;
    }
    auto connectionOrFailure = connectTcp(target, deadline, cancelled);
    if (auto* failure = std::get_if<NtsKeResult>(&connectionOrFailure)) {
        return *failure;
    }
    const TcpConnection& connection =
        *std::get<std::unique_ptr<TcpConnection>>(connectionOrFailure);
    const Connection ssl =
        connectionFor(std::get<Context>(contextOrFailure).get(), target, connection.handle());
    if (!ssl) {
        return ntsKeFailed(NtsKeFailure::TlsFailed, openSslErrors());
    }
    bool timedOut = false;
    const auto timeOut = [] { return ntsKeFailed(NtsKeFailure::TimedOut, "no answer in time"); };
    if (runStep(ssl.get(), connection, deadline, cancelled, timedOut,
                [&] { return SSL_connect(ssl.get()); }) != 1) {
        return timedOut ? timeOut() : handshakeFailure(ssl.get());
    }
    const unsigned char* protocol = nullptr;
    unsigned int protocolLength = 0;
    SSL_get0_alpn_selected(ssl.get(), &protocol, &protocolLength);
    if (std::string(reinterpret_cast<const char*>(protocol), protocolLength) != kNtsAlpn) {
        return ntsKeFailed(NtsKeFailure::NoAlpn, "the server chose no ntske/1");
    }
    const Bytes request = ntsKeRequest();
    if (runStep(ssl.get(), connection, deadline, cancelled, timedOut, [&] {
            return SSL_write(ssl.get(), request.data(), static_cast<int>(request.size()));
        }) <= 0) {
        return timedOut ? timeOut() : ntsKeFailed(NtsKeFailure::Refused, openSslErrors());
    }
    Bytes stream;
    NtsKeResult result;
    result.answer = parseNtsKeAnswer(stream);
    while (result.answer.fault == NtsKeAnswerFault::Incomplete && stream.size() < kLongestAnswer) {
        unsigned char chunk[4096];
        const int read = runStep(ssl.get(), connection, deadline, cancelled, timedOut,
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
        return ntsKeFailed(NtsKeFailure::TlsFailed, "no keys exported: " + openSslErrors());
    }
    SSL_shutdown(ssl.get());
    return result;
}

}  // namespace korvel
