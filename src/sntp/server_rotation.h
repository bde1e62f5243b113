#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvel {

inline constexpr int kMostServers = 4;
// What one server is asked at most in one burst while another shares the load: a burst that
// public servers' rate limits let through.
inline constexpr int kMostRequestsToOneServer = 8;

// Where a server of the set stands in the current burst.
enum class ServerStatus {
    LookingUp,    // its name is still being looked up
    InRotation,   // takes requests
    NotFound,     // its name did not resolve
    Unreachable,  // the network has no route to it
    Silent,       // its first requests all went unanswered while another answered for it
    KissOfDeath,  // it asked not to be asked (kissCode), now or in an earlier burst
    SameMachine,  // found at the address of another server of the set (sameAs): one with it
    NtsFailed,    // named as NTS, it gave no authenticated time (kissCode names why)
};

struct ServerTally {
    ServerStatus status = ServerStatus::LookingUp;
    int requests = 0;
    int replies = 0;
    std::string kissCode;  // RATE, DENY or RSTR; for NtsFailed the failure's name
    int entry = 0;         // the configured server it is an address of
    std::string address;   // where it was found; empty until then
    int sameAs = -1;       // the server it is one machine with
};

// Which server of the set each request of a burst goes to. With one server every request goes
// to it. With several they take turns, at most kMostRequestsToOneServer each while two or more
// are in rotation; a server left alone takes the rest. A server whose first
// kMostRequestsToOneServer requests all went unanswered leaves while another remains.
class ServerRotation {
public:
    ServerRotation() = default;
    // One server per configured entry, each its own entry.
    explicit ServerRotation(int servers);

    int size() const { return static_cast<int>(m_servers.size()); }
    const ServerTally& tally(int server) const { return m_servers[index(server)]; }

    // Its name was found: it joins the rotation, unless it already left.
    void found(int server);
    // It takes no more requests in this burst.
    void leave(int server, ServerStatus why, std::string kissCode = {});
    // Its address is an earlier one's: that server stands for both.
    void merge(int server, int into);
    // Another address of a configured entry joins the rotation; its index.
    int add(int entry, std::string address);
    void setAddress(int server, std::string address) {
        m_servers[index(server)].address = std::move(address);
    }
    // The server the next request goes to; nullopt when none may take one now.
    std::optional<int> next();
    void sent(int server) { ++m_servers[index(server)].requests; }
    void answered(int server) { ++m_servers[index(server)].replies; }

    int inRotation() const;
    // Servers that are addresses of the entry: more than one where a name answered several.
    int serversOf(int entry) const;
    // Servers in rotation or still being looked up.
    int mayBeAsked() const;
    bool anyLookingUp() const;

private:
    static std::size_t index(int server) { return static_cast<std::size_t>(server); }
    std::vector<ServerTally> m_servers;
    int m_last = -1;
};

}  // namespace korvel
