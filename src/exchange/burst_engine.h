#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "exchange/nts_servers.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/program_files.h"
#include "platform/random.h"
#include "platform/timer.h"
#include "platform/udp_socket.h"
#include "sntp/burst_evaluation.h"
#include "sntp/outcome.h"
#include "sntp/rate_holds.h"
#include "sntp/reply_record.h"
#include "sntp/sent_requests.h"
#include "sntp/server_rotation.h"

namespace korvel {

inline constexpr int kRepliesPerBurst = 25;
inline constexpr int kRequestIntervalMs = 100;
inline constexpr int kBurstTimeoutMs = 10000;
// The transmit timestamp's fraction bits below the millisecond: random in every request, so
// that a reply must have seen the request to match it.
inline constexpr std::uint32_t kRandomFractionMask = (1u << 22) - 1;
// A local clock further off than this from the servers may fail an NTS certificate's dates.
inline constexpr double kNtsDatesLeewaySec = 86400.0;

// What the engine reaches the world through; owned by whoever runs it.
struct EngineServices {
    SystemClock& systemClock;
    SteadyClock& steadyClock;
    UdpSocket& socket;
    TimerService& timers;
    FileSystem& files;
    RandomSource& random;
    ScratchFile& scratchFile;
    // Where absent, a server named as `nts:HOST` fails for want of them.
    NtsKeyExchange* ntsKeyExchange = nullptr;
    const SivCipher* sivCipher = nullptr;
};

enum class BurstState {
    Idle,               // no burst has started
    LookingUp,          // the servers' names are being looked up; nothing sent yet
    Sending,            // Timer1 sends one request per tick
    WaitingForReplies,  // the requests are out; the last replies may still come
    Ended,              // the result is out; replies to this burst change nothing
};

// How a burst ended. From ten counted replies on, the evaluation's outcome and result, and the
// records 1..counted in evaluation order; with fewer, why no server answered enough.
struct BurstEnd {
    OutcomeRecord outcome;
    BurstResult result;
    const ReplyRecords& records;
    const ServerRotation& rotation;
    // Each server of the rotation as the texts name it: its configured entry, or where a name
    // answered several addresses, the address and the name.
    const std::vector<std::string>& servers;
    // Set where a certificate failed on its dates at the local time, the evaluated offset was
    // beyond kNtsDatesLeewaySec, and the burst ran again with the dates checked at the local
    // time plus this offset.
    std::optional<double> ntsDatesOffsetSec;
};

// One measurement burst over a server set: the requests (Timer1, 30 at 100 ms), the replies,
// their supervision (Timer2's 10 s time-out, the quiet after the last request) and the
// evaluation. Every end goes through one path and is told once, through ended, on the program's
// thread and never inside start(). Servers that refused service stay refused for the engine's
// life; RATE holds live in a file that other runs read too.
class BurstEngine {
public:
    struct Listener {
        std::function<void(int repliesReceived)> replyCounted;
        std::function<void(const BurstEnd&)> ended;
    };

    explicit BurstEngine(EngineServices services);
    BurstEngine(const BurstEngine&) = delete;
    BurstEngine& operator=(const BurstEngine&) = delete;

    void setListener(Listener listener) { m_listener = std::move(listener); }

    // Starts a burst over the servers (their index is the reply's server), ending any running
    // one without a word. The names are looked up anew and the requests start once one is found.
    // Entries of one kind (NTS or plain) found at one address are one server: the first found
    // stands for the others; an NTS and a plain entry there are two servers of one machine. A
    // name that answers several addresses spreads the burst over up to four servers in all, its
    // further addresses taking the indexes after the entries'. An NTS server whose certificate
    // failed on its dates while the others put the local clock more than a day off gets one
    // more burst, its dates checked at their time; only that burst's end is told.
    void start(std::vector<std::string> servers);
    // Fewer requests per burst than the usual 30, from the next burst on (the keeper's runs,
    // once its model foretells the clock well): the burst ends when all are answered, and its
    // mean drops as large a share of slow replies. Kept between kFewestEvaluatedReplies and 30.
    void setRequestLimit(int requests);
    // A file of PEM certificates an NTS server's may chain to besides the system's store.
    void setNtsTrustFile(std::string path) { m_nts.setTrustFile(std::move(path)); }
    // Ends a running burst without a result (the program is closing).
    void cancel();

    BurstState state() const { return m_state; }
    bool running() const { return m_state != BurstState::Idle && m_state != BurstState::Ended; }
    std::int16_t requestsSent() const { return m_requestsSent; }
    std::int16_t repliesReceived() const { return m_repliesReceived; }
    const ReplyRecords& records() const { return m_records; }
    const ServerRotation& rotation() const { return m_rotation; }
    // The request awaiting its reply whose transmit timestamp is transmit; nullptr when none is.
    const SentRequests::Entry* sentRequest(NtpTimestamp transmit, int server) {
        return m_sentRequests.find(transmit, server);
    }

    // The system clock read for the current burst, paired with the monotonic clock. When the
    // reading shows that the clock stepped since the burst's previous one, the requests sent
    // before and the replies counted are forgotten, so a burst is never evaluated across a step.
    PairedReading burstClockReading();

private:
    void begin(std::vector<std::string> servers);
    bool datesFailedAtLocalTime() const;
    void requestTick();
    int replyServer(int server, std::int32_t byteCount) const;
    void datagramArrival(std::int32_t byteCount, int fromServer,
                         std::optional<std::int64_t> receivedUtcNs);
    void kissOfDeath(const SntpPacket& packet, int server);
    void holdBackServers();
    void lookUp();
    void exchangeKeys(int server);
    std::optional<Bytes> ntsDatagram(int server, NtpTimestamp transmit);
    std::optional<SntpPacket> ntsReply(std::int32_t byteCount, int server);
    void ntsFailed(int server, std::string failure);
    void serverFound(int server, ConnectOutcome outcome);
    bool joinsEarlierServer(int server);
    void spreadOverAddresses(int server);
    int serverAt(const std::string& address, int besides,
                 std::optional<bool> nts = std::nullopt) const;
    int agreedEntries(const BurstResult& result) const;
    void serverLeft();
    void requestsOut();
    void replyCounted();
    void quietTick();
    bool noServerLeft() const;
    bool nothingAwaited() const;
    OutcomeRecord withoutServers() const;
    void finish(OutcomeRecord unanswered);
    std::string name(int server) const;
    std::string key(int server) const;

    EngineServices m_services;
    Listener m_listener;
    std::unique_ptr<Timer> Timer1;  // one request per tick
    std::unique_ptr<Timer> Timer2;  // burst time-out
    // The replies stopped, or nothing can be asked: ends the burst once start() has returned.
    std::unique_ptr<Timer> m_quietTimer;

    BurstState m_state = BurstState::Idle;
    std::vector<std::string> m_servers;
    std::vector<std::string> m_labels;  // as BurstEnd names them
    ServerRotation m_rotation;
    RateHolds m_holds;  // at the burst's start
    // Servers that refused service (DENY, RSTR) are not asked again while the engine lives.
    std::map<std::string, std::string> m_refusingServers;
    NtsServers m_nts;
    int m_exchangesRunning = 0;
    std::optional<double> m_ntsDatesOffsetSec;
    std::int64_t m_burstStartMs = 0;
    ReplyRecords m_records{};
    SentRequests m_sentRequests;
    std::optional<double> m_clockBaseMs;  // wall minus monotonic clock at the last reading
    double m_largestDelaySec = 0.0;
    std::int16_t m_requestsSent = 0;
    std::int16_t m_repliesReceived = 0;
    int m_requestLimit = kRequestsPerBurst;
};

}  // namespace korvel
