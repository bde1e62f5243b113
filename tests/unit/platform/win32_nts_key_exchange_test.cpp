#include "platform/win32/win32_nts_key_exchange.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <thread>

namespace korvel::test {
namespace {

// A loopback TCP port that listens and never accepts: a handshake with it waits forever.
class LoopbackPort {
public:
    LoopbackPort() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        bind(m_socket, reinterpret_cast<sockaddr*>(&address), size);
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        listen(m_socket, 1);
    }
    ~LoopbackPort() {
        closesocket(m_socket);
        WSACleanup();
    }
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;
    int port() const { return m_port; }

private:
    SOCKET m_socket = INVALID_SOCKET;
    int m_port = 0;
};

// Real exchanges on the Win32 path (Winsock, the root store through crypt32, a worker thread):
// each failure is named, and its result arrives from the message loop on the loop's thread.
TEST(Win32NtsKeyExchange, FailuresAreNamedAndArriveOnTheLoopThread) {
    struct Row {
        const char* what;
        const char* extraTrustFile;
        NtsKeFailure expected;
    };
    const Row rows[] = {
        {"no handshake answer", "", NtsKeFailure::TimedOut},
        {"an extra anchor that cannot be read", "C:\\no\\such\\ca.pem", NtsKeFailure::Untrusted},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MessageWindow window;
        LoopbackPort port;
        Win32NtsKeyExchange exchange(window);
        std::optional<NtsKeResult> result;
        std::thread::id doneOn;
        NtsKeTarget target;
        target.host = "127.0.0.1";
        target.port = port.port();
        target.extraTrustFile = row.extraTrustFile;
        target.timeoutMs = 400;
        exchange.start(target, [&](NtsKeResult r) {
            result = std::move(r);
            doneOn = std::this_thread::get_id();
            quitMessageLoop(0);
        });
        EXPECT_FALSE(result.has_value()) << "done ran inside start";
        runMessageLoop();
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->failure, row.expected) << result->detail;
        EXPECT_EQ(doneOn, std::this_thread::get_id());
    }
}

// Going away cancels an exchange under way: the destructor returns soon and done never runs.
TEST(Win32NtsKeyExchange, GoingAwayCancelsWithoutCallingBack) {
    MessageWindow window;
    LoopbackPort port;
    bool called = false;
    {
        Win32NtsKeyExchange exchange(window);
        NtsKeTarget target;
        target.host = "127.0.0.1";
        target.port = port.port();
        exchange.start(target, [&](NtsKeResult) { called = true; });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
    EXPECT_FALSE(called);
}

}  // namespace
}  // namespace korvel::test
