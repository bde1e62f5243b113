#include "exchange/burst_engine.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>
#include <utility>

#include "common/day_date.h"
#include "common/utf8_text.h"
#include "exchange/exchange.h"
#include "sntp/sntp_packet.h"

namespace korvel {

namespace {

constexpr int kServerMode = 4;
constexpr int kLeapAlarm = 3;
// Stratum 16 and above (reserved in SNTPv4, "unsynchronised" in NTPv4) come from a server
// without a reference: such replies count, but as flagged ones, like a leap alarm, so a
// server that lost its sources is reported as one whose time is invalid.
constexpr int kUnsynchronisedStratum = 16;
constexpr std::uint8_t kLeapWarningByte = 96;
constexpr double kSecondsPerDay = 86400.0;
constexpr int kLeastQuietMs = 1000;
constexpr double kQuietDelays = 3.0;
// Wall clock minus monotonic clock may move this much between readings of an unstepped clock:
// the monotonic readings' whole milliseconds and the spread of each pair, at both ends.
constexpr double kLargestUnsteppedChangeMs = 4.0;
constexpr double kNanosecondsPerMillisecond = 1e6;
// An NTS server out of cookies may still get one back with a reply this young.
constexpr std::int64_t kNtsCookieWaitMs = 1000;
// The longest NTS reply read: the packet, the identifier, eight cookies and the authenticator.
constexpr std::size_t kLongestNtsReply = 2048;

// A server time before this version was made (a server claiming 1970) is no time at all.
double versionDayNtpSeconds() {
    constexpr int kDate = KORVEL_VERSION_DATE;
    return static_cast<double>(dayNumber(kDate / 10000, kDate / 100 % 100, kDate % 100) - 2) *
           kSecondsPerDay;
}

bool isRefusal(const std::string& code) {
    return code == "RATE" || code == "DENY" || code == "RSTR";
}

// A server that has not synchronised yet says so with a leap alarm at stratum 0 and no
// refusal: its reply counts, flagged, whatever its timestamps hold.
bool isUnsynchronised(const SntpPacket& packet) {
    return packet.stratum == 0 && packet.liVnMode >> 6 == kLeapAlarm &&
           !isRefusal(kissCode(packet));
}

// A server reply whose timestamps may be used: server mode, with receive and transmit times
// whose seconds are set, or an unsynchronised server's, which is flagged anyway.
bool isUsableReply(const SntpPacket& packet) {
    return modeOf(packet) == kServerMode &&
           ((packet.stratum != 0 && packet.receiveSeconds != 0 && packet.transmitSeconds != 0) ||
            isUnsynchronised(packet));
}

}  // namespace

BurstEngine::BurstEngine(EngineServices services)
    : m_services(services),
      Timer1(services.timers.createTimer(TimerPrecision::Precise)),
      Timer2(services.timers.createTimer(TimerPrecision::Precise)),
      m_quietTimer(services.timers.createTimer(TimerPrecision::Coarse)),
      m_nts(services.ntsKeyExchange, services.sivCipher, services.random) {
    Timer1->setInterval(kRequestIntervalMs);
    Timer1->setTickHandler([this] { requestTick(); });
    Timer2->setInterval(kBurstTimeoutMs);
    Timer2->setTickHandler([this] { finish(withoutServers()); });
    m_quietTimer->setTickHandler([this] { quietTick(); });
    services.socket.setArrivalHandler(
        [this](std::int32_t byteCount, int server, std::optional<std::int64_t> receivedUtcNs) {
            datagramArrival(byteCount, server, receivedUtcNs);
        });
}

void BurstEngine::start(std::vector<std::string> servers) {
    m_ntsDatesOffsetSec.reset();
    begin(std::move(servers));
}

void BurstEngine::begin(std::vector<std::string> servers) {
    cancel();
    m_servers = std::move(servers);
    m_labels.clear();
    std::ranges::transform(m_servers, std::back_inserter(m_labels), trimBlanks);
    m_requestsSent = 0;
    m_repliesReceived = 0;
    m_clockBaseMs.reset();
    m_largestDelaySec = 0.0;
    m_rotation = ServerRotation(static_cast<int>(m_servers.size()));
    m_nts.startBurst(m_servers);
    m_exchangesRunning = 0;
    m_burstStartMs = m_services.steadyClock.readPaired().steadyMs;
    holdBackServers();
    m_state = BurstState::LookingUp;
    Timer2->start();
    // Nothing to ask at all: the burst ends once the caller has returned.
    if (noServerLeft()) {
        m_quietTimer->setInterval(1);
        m_quietTimer->start();
        return;
    }
    // The names are looked up once the key exchanges have named the NTP servers.
    for (int i = 0; i < m_rotation.size(); ++i) {
        if (m_rotation.tally(i).status == ServerStatus::LookingUp && m_nts.needsExchange(i)) {
            exchangeKeys(i);
        }
    }
    if (m_exchangesRunning == 0) {
        lookUp();
    }
}

void BurstEngine::setRequestLimit(int requests) {
    m_requestLimit = std::clamp(requests, kFewestEvaluatedReplies, kRequestsPerBurst);
}

void BurstEngine::lookUp() {
    std::vector<std::string> hosts;
    std::vector<std::int32_t> ports;
    for (int i = 0; i < m_rotation.size(); ++i) {
        hosts.push_back(m_nts.host(i));
        ports.push_back(m_nts.port(i));
    }
    m_services.socket.setServers(
        hosts, ports, [this](int server, ConnectOutcome outcome) { serverFound(server, outcome); });
}

// A key exchange counts against the burst's time as a look-up does.
void BurstEngine::exchangeKeys(int server) {
    ++m_exchangesRunning;
    const auto elapsedMs = m_services.steadyClock.readPaired().steadyMs - m_burstStartMs;
    const int leftMs = std::max(1, kBurstTimeoutMs - static_cast<int>(elapsedMs));
    std::optional<std::int64_t> datesAt;
    if (m_ntsDatesOffsetSec) {
        datesAt = m_services.steadyClock.readPaired().utcNs / 1'000'000'000 +
                  std::llround(*m_ntsDatesOffsetSec);
    }
    m_nts.exchange(server, leftMs, datesAt, [this, server](std::string failure) {
        --m_exchangesRunning;
        if (!running()) {
            return;
        }
        if (!failure.empty()) {
            ntsFailed(server, std::move(failure));
        }
        if (running() && m_state == BurstState::LookingUp && m_exchangesRunning == 0) {
            lookUp();
        }
    });
}

void BurstEngine::ntsFailed(int server, std::string failure) {
    m_rotation.leave(server, ServerStatus::NtsFailed, std::move(failure));
    serverLeft();
}

// The authenticated request to an NTS server; nothing when none may go now: an exchange runs,
// a reply may still bring a cookie, or the server just ran out of them.
std::optional<Bytes> BurstEngine::ntsDatagram(int server, NtpTimestamp transmit) {
    if (m_nts.exchanging(server)) {
        return std::nullopt;
    }
    // Built straight into wire order: an NTS request is longer than the scratch file's record.
    PacketBytes wirePacket = hostBytes(requestPacket(transmit));
    swapByteOrder(wirePacket);
    const std::int64_t nowMs = m_services.steadyClock.readPaired().steadyMs;
    if (auto datagram = m_nts.request(server, wirePacket, transmit, nowMs)) {
        return datagram;
    }
    if (m_nts.awaiting(server, nowMs - kNtsCookieWaitMs)) {
        return std::nullopt;
    }
    // Out of cookies and no reply to come: a server that stopped answering authenticated
    // requests gets one new exchange.
    if (m_nts.mayExchange(server)) {
        exchangeKeys(server);
    } else {
        ntsFailed(server, kNtsCookiesUsedUp);
    }
    return std::nullopt;
}

// The packet of an authentic reply from an NTS server; its cookies join the server's.
std::optional<SntpPacket> BurstEngine::ntsReply(std::int32_t byteCount, int server) {
    Bytes datagram(kLongestNtsReply);
    const std::int32_t length = m_services.socket.read(datagram);
    if (length != byteCount || length < static_cast<std::int32_t>(kPacketSize)) {
        return std::nullopt;
    }
    datagram.resize(static_cast<std::size_t>(length));
    PacketBytes wirePacket{};
    std::copy_n(datagram.begin(), kPacketSize, wirePacket.begin());
    swapByteOrder(wirePacket);
    const SntpPacket packet = packetFromHostBytes(wirePacket);
    switch (m_nts.reply(server, datagram, originateOf(packet))) {
        case NtsReplyVerdict::Authentic:
            return packet;
        case NtsReplyVerdict::Nak:
            if (m_nts.mayExchange(server)) {
                exchangeKeys(server);
            } else {
                ntsFailed(server, kNtsNak);
            }
            break;
        default:
            break;
    }
    return std::nullopt;
}

void BurstEngine::cancel() {
    Timer1->stop();
    Timer2->stop();
    m_quietTimer->stop();
    m_sentRequests.clear();
    if (running()) {
        m_state = BurstState::Ended;
    }
}

std::string BurstEngine::name(int server) const {
    return trimBlanks(m_servers[static_cast<std::size_t>(m_rotation.tally(server).entry)]);
}

// What refusals and RATE holds are kept under: the entry, or a further address of a name.
std::string BurstEngine::key(int server) const {
    return server < static_cast<int>(m_servers.size()) ? name(server)
                                                       : m_rotation.tally(server).address;
}

// Servers that must not be asked in this burst: refused for the run, or held after a RATE.
void BurstEngine::holdBackServers() {
    m_holds = heldServers(m_services.files, ntpSeconds(m_services.systemClock.getSystemTime()));
    for (int i = 0; i < m_rotation.size(); ++i) {
        const std::string server = name(i);
        if (m_nts.isNts(i) && !m_nts.available()) {
            m_rotation.leave(i, ServerStatus::NtsFailed, kNtsUnavailable);
        } else if (const auto refused = m_refusingServers.find(server);
                   refused != m_refusingServers.end()) {
            m_rotation.leave(i, ServerStatus::KissOfDeath, refused->second);
        } else if (m_holds.contains(server)) {
            m_rotation.leave(i, ServerStatus::KissOfDeath, "RATE");
        }
    }
}

void BurstEngine::serverFound(int server, ConnectOutcome outcome) {
    // The burst may have ended while the names were looked up.
    if (!running()) {
        return;
    }
    if (outcome == ConnectOutcome::Connected) {
        if (joinsEarlierServer(server)) {
            serverLeft();
            return;
        }
        m_rotation.found(server);
        spreadOverAddresses(server);
        if (m_state == BurstState::LookingUp) {
            m_state = BurstState::Sending;
            Timer1->start();
        }
        return;
    }
    m_rotation.leave(server, outcome == ConnectOutcome::NameNotResolved
                                 ? ServerStatus::NotFound
                                 : ServerStatus::Unreachable);
    serverLeft();
}

// The server other than besides found at the address, NTS or plain as nts says (either where
// it says nothing); -1 when none is.
int BurstEngine::serverAt(const std::string& address, int besides, std::optional<bool> nts) const {
    for (int i = 0; i < m_rotation.size(); ++i) {
        const ServerTally& tally = m_rotation.tally(i);
        if (i != besides && tally.address == address && tally.status != ServerStatus::SameMachine &&
            nts.value_or(m_nts.isNts(i)) == m_nts.isNts(i)) {
            return i;
        }
    }
    return -1;
}

// An entry found where another server of its kind was found before is that server again: it
// asks nothing, and what comes from the address is one opinion. An NTS and a plain entry of one
// machine stay two servers, its replies told apart by their length (replyServer).
bool BurstEngine::joinsEarlierServer(int server) {
    const std::string address = m_services.socket.addressOf(server);
    m_rotation.setAddress(server, address);
    const int earlier = serverAt(address, server, m_nts.isNts(server));
    if (earlier < 0) {
        return false;
    }
    m_rotation.merge(server, earlier);
    return true;
}

// A name that answered several addresses (a pool) shares the burst out over them, as over a
// server set of up to four, so that no one member takes a whole burst. Addresses already in the
// set, refused or held are not taken again.
void BurstEngine::spreadOverAddresses(int server) {
    // An NTS server's cookies are for the machine its key exchange named.
    if (m_nts.isNts(server)) {
        return;
    }
    const std::vector<std::string> addresses = m_services.socket.addressesOf(server);
    const std::string named = name(server);
    for (std::size_t k = 1; k < addresses.size() && m_rotation.mayBeAsked() < kMostServers; ++k) {
        const std::string& address = addresses[k];
        if (serverAt(address, -1) >= 0 || m_refusingServers.contains(address) ||
            m_holds.contains(address) || m_services.socket.addServer(address, kServerPort) < 0) {
            continue;
        }
        m_rotation.add(m_rotation.tally(server).entry, address);
        m_labels.push_back(address + " (" + named + ")");
        m_labels[static_cast<std::size_t>(server)] = addresses.front() + " (" + named + ")";
    }
}

PairedReading BurstEngine::burstClockReading() {
    const PairedReading reading = m_services.steadyClock.readPaired();
    const double baseMs = static_cast<double>(reading.utcNs) / kNanosecondsPerMillisecond -
                          static_cast<double>(reading.steadyMs);
    if (m_clockBaseMs && std::abs(baseMs - *m_clockBaseMs) > kLargestUnsteppedChangeMs) {
        m_sentRequests.clear();
        m_repliesReceived = 0;
    }
    m_clockBaseMs = baseMs;
    return reading;
}

void BurstEngine::requestTick() {
    if (m_requestsSent >= m_requestLimit) {
        requestsOut();
        return;
    }
    const std::optional<int> server = m_rotation.next();
    if (!server) {
        // A server still being looked up may yet take requests; otherwise none may.
        if (!m_rotation.anyLookingUp()) {
            requestsOut();
        }
        return;
    }
    // The transmit field carries whole milliseconds, its bits below them random; it only
    // identifies the request.
    NtpTimestamp transmit = ntpTimestamp(m_services.systemClock.getSystemTime());
    transmit.fraction = (transmit.fraction & ~kRandomFractionMask) |
                        (m_services.random.randomBits() & kRandomFractionMask);
    std::optional<Bytes> datagram;
    if (m_nts.isNts(*server)) {
        datagram = ntsDatagram(*server, transmit);
        if (!datagram) {
            return;
        }
    } else if (auto bytes = m_services.scratchFile.recordToBytes(requestPacket(transmit))) {
        swapByteOrder(*bytes);
        datagram.emplace(bytes->begin(), bytes->end());
    }
    // A request that cannot be converted or sent still counts, so the burst keeps its pace.
    if (datagram) {
        // The time the request leaves is read last, so that building and converting it do
        // not count as time on the network; the system's stamp of its leaving, where it gives
        // one that lies between this reading and the next, also leaves out the send itself
        // (on a busy machine the program may wait for a core in between).
        const PairedReading before = burstClockReading();
        if (const SentDatagram sent = m_services.socket.send(*server, *datagram); sent.sent) {
            std::int64_t leftNs = before.utcNs;
            if (sent.leftUtcNs && *sent.leftUtcNs >= before.utcNs &&
                *sent.leftUtcNs <= burstClockReading().utcNs) {
                leftNs = *sent.leftUtcNs;
            }
            m_sentRequests.add(transmit, ntpSecondsOfUnixNs(leftNs), *server);
        }
    }
    m_rotation.sent(*server);
    ++m_requestsSent;
}

// The server a datagram from the socket's server is for. The socket gives what comes from one
// address and port to one of the servers found there: an entry merged into another stands for
// that one, and where an NTS and a plain server share the machine, only the NTS server's
// replies (NAKs too) are longer than the packet. Its contents must still match a request to
// the server it goes to.
int BurstEngine::replyServer(int server, std::int32_t byteCount) const {
    if (server < 0 || server >= m_rotation.size()) {
        return server;
    }
    if (m_rotation.tally(server).status == ServerStatus::SameMachine) {
        server = m_rotation.tally(server).sameAs;
    }
    const bool nts = byteCount != static_cast<std::int32_t>(kPacketSize);
    if (m_nts.isNts(server) == nts) {
        return server;
    }
    const int other = serverAt(m_rotation.tally(server).address, server, nts);
    return other >= 0 ? other : server;
}

void BurstEngine::datagramArrival(std::int32_t byteCount, int fromServer,
                                  std::optional<std::int64_t> receivedUtcNs) {
    const int server = replyServer(fromServer, byteCount);
    // Only an NTS server's replies are longer than the packet.
    if (!running() ||
        (byteCount != static_cast<std::int32_t>(kPacketSize) && !m_nts.isNts(server))) {
        return;
    }
    // Read before the datagram is, so that the read, the byte swap and the scratch-file round
    // trip do not count as time on the network where the system gave no arrival stamp. The
    // reading also pairs the arrival with the monotonic clock: a step of the clock since the
    // request left, between the system's stamp and now too, forgets the request.
    const PairedReading handled = burstClockReading();
    std::optional<SntpPacket> packet;
    if (m_nts.isNts(server)) {
        // Never plain time from a server named as NTS.
        packet = ntsReply(byteCount, server);
    } else {
        PacketBytes buffer{};
        if (m_services.socket.read(buffer) != byteCount) {
            return;
        }
        swapByteOrder(buffer);
        packet = m_services.scratchFile.bytesToRecord(buffer);
    }
    if (packet && modeOf(*packet) == kServerMode && packet->stratum == 0 &&
        !isUnsynchronised(*packet)) {
        kissOfDeath(*packet, server);
        return;
    }
    if (!packet || !isUsableReply(*packet)) {
        return;
    }
    SentRequests::Entry* request = m_sentRequests.find(originateOf(*packet), server);
    if (request == nullptr) {
        return;
    }
    // The system's stamp, taken as the datagram reached the host, is the arrival time unless
    // it cannot be: before the request left or after the handler's own reading.
    std::int64_t arrivalNs = handled.utcNs;
    if (receivedUtcNs && *receivedUtcNs <= handled.utcNs &&
        ntpSecondsOfUnixNs(*receivedUtcNs) >= request->sentAt) {
        arrivalNs = *receivedUtcNs;
    }
    // Time cannot run backwards at the server, nor a reply come back before it left: such a
    // reply would sort as the fastest and carry its forged offset into the mean.
    const double arrival = ntpSecondsOfUnixNs(arrivalNs);
    const double t2 = unwrapNtpSeconds(receiveOf(*packet), arrival);
    const double t3 = unwrapNtpSeconds(transmitOf(*packet), arrival);
    const double resolution =
        static_cast<double>(m_services.steadyClock.readingResolutionNs()) / 1e9;
    if (t3 < t2 || (arrival - request->sentAt) - (t3 - t2) < -resolution) {
        return;
    }
    request->answered = true;
    m_rotation.answered(server);
    m_largestDelaySec = std::max(m_largestDelaySec, (arrival - request->sentAt) - (t3 - t2));

    const std::int16_t k = ++m_repliesReceived;
    ReplyRecord& record = m_records[static_cast<std::size_t>(k)];
    record.invalid = packet->liVnMode >= kLeapWarningByte ||
                             packet->stratum >= kUnsynchronisedStratum ||
                             isUnsynchronised(*packet) || t2 < versionDayNtpSeconds()
                         ? 1
                         : 0;
    record.t1 = request->sentAt;
    record.t2 = t2;
    record.t3 = t3;
    record.t4 = arrival;
    record.server = static_cast<std::int16_t>(server);
    record.authenticated = m_nts.isNts(server);
    if (m_listener.replyCounted) {
        m_listener.replyCounted(k);
    }
    if (k >= std::min(kRepliesPerBurst, m_requestLimit)) {
        finish({});
    } else {
        replyCounted();
    }
}

// A kiss-o'-death to a request of this burst: the server leaves the rotation for its code.
void BurstEngine::kissOfDeath(const SntpPacket& packet, int server) {
    SentRequests::Entry* request = m_sentRequests.find(originateOf(packet), server);
    const std::string code = kissCode(packet);
    if (request == nullptr || !isRefusal(code)) {
        return;
    }
    request->answered = true;
    m_rotation.leave(server, ServerStatus::KissOfDeath, code);
    if (code == "RATE") {
        holdServer(m_services.files, key(server),
                   ntpSeconds(m_services.systemClock.getSystemTime()));
    } else {
        m_refusingServers[key(server)] = code;
    }
    serverLeft();
}

bool BurstEngine::noServerLeft() const {
    return m_rotation.inRotation() == 0 && !m_rotation.anyLookingUp();
}

// Every request to a server still asked has been answered: nothing more is awaited.
bool BurstEngine::nothingAwaited() const {
    for (int i = 0; i < m_rotation.size(); ++i) {
        const ServerTally& tally = m_rotation.tally(i);
        if (tally.status == ServerStatus::LookingUp ||
            (tally.status == ServerStatus::InRotation && tally.replies < tally.requests)) {
            return false;
        }
    }
    return true;
}

// Why no server may be asked any more: each refusal, and each server not found.
OutcomeRecord BurstEngine::withoutServers() const {
    std::string cause;
    bool refused = false;
    bool named = false;
    bool nts = false;
    for (int i = 0; i < m_rotation.size(); ++i) {
        const ServerTally& tally = m_rotation.tally(i);
        refused = refused || tally.status == ServerStatus::KissOfDeath;
        nts = nts || tally.status == ServerStatus::NtsFailed;
        named = named || tally.status == ServerStatus::NotFound;
        // Why each server gave nothing; a server that refused after some replies is named too.
        // One found at another's address is that one, whose cause is said.
        if ((tally.replies == 0 && tally.status != ServerStatus::SameMachine) ||
            tally.status == ServerStatus::KissOfDeath) {
            cause += (cause.empty() ? "" : "\n") +
                     unreachedText(m_labels[static_cast<std::size_t>(i)], tally);
        }
    }
    if (refused && noServerLeft()) {
        return {Outcome::RefusedByServer, cause, {}};
    }
    if (nts && noServerLeft()) {
        return {Outcome::NtsFailed, cause, {}};
    }
    return {named ? Outcome::NameNotResolved : Outcome::NoReply, cause, {}};
}

void BurstEngine::serverLeft() {
    if (!noServerLeft()) {
        return;
    }
    if (m_repliesReceived >= kFewestEvaluatedReplies) {
        requestsOut();
    } else {
        finish(withoutServers());
    }
}

// The burst sends no more requests: from now on it ends once its replies stop.
void BurstEngine::requestsOut() {
    Timer1->stop();
    if (m_state == BurstState::LookingUp || m_state == BurstState::Sending) {
        m_state = BurstState::WaitingForReplies;
        replyCounted();
    }
}

// While the requests are out, the replies have stopped when every request to a server still
// asked is answered, else after a quiet while: max(1 s, 3 × the largest delay seen).
void BurstEngine::replyCounted() {
    if (m_state != BurstState::WaitingForReplies) {
        return;
    }
    if (m_repliesReceived > 0 && nothingAwaited()) {
        finish(withoutServers());
        return;
    }
    const auto quietMs = static_cast<int>(std::ceil(m_largestDelaySec * kQuietDelays * 1000));
    m_quietTimer->stop();
    m_quietTimer->setInterval(std::max(kLeastQuietMs, quietMs));
    m_quietTimer->start();
}

// Ten or more replies are evaluated once they stop; with fewer, a burst that can still hear
// from a server waits for its time-out.
void BurstEngine::quietTick() {
    m_quietTimer->stop();
    if (m_repliesReceived >= kFewestEvaluatedReplies || noServerLeft()) {
        finish(withoutServers());
    }
}

// The one end of every burst: evaluated from ten replies on; with fewer, too few, unless every
// one was flagged by its server or the servers refused; with none, why nobody answered.
void BurstEngine::finish(OutcomeRecord unanswered) {
    cancel();
    m_state = BurstState::Ended;
    BurstResult result;
    OutcomeRecord outcome = std::move(unanswered);
    const int n = m_repliesReceived;
    if (n >= kFewestEvaluatedReplies) {
        const double resolutionSec =
            static_cast<double>(m_services.steadyClock.readingResolutionNs()) / 1e9;
        BurstEvaluation evaluation = evaluateBurst(m_records, n, m_rotation.size(), resolutionSec,
                                                   slowestDroppedOf(m_requestLimit));
        result = std::move(evaluation.result);
        // The servers' time says the local clock is far off, so the dates may have failed for
        // that alone: they are checked again, at the servers' time, never skipped.
        if (evaluation.outcome == Outcome::Evaluated && !m_ntsDatesOffsetSec &&
            std::abs(result.offsetSec) > kNtsDatesLeewaySec && datesFailedAtLocalTime()) {
            m_ntsDatesOffsetSec = result.offsetSec;
            begin(m_servers);
            return;
        }
        result.agreedServers = agreedEntries(result);
        outcome = {evaluation.outcome,
                   evaluation.outcome == Outcome::ServersDisagree ? serverMedians(m_labels, result)
                                                                  : std::string(),
                   evaluation.outcome == Outcome::Evaluated ? serversLeftOut(m_labels, result)
                                                            : std::string()};
    } else if (n > 0 && outcome.outcome != Outcome::RefusedByServer) {
        const bool allFlagged = std::all_of(m_records.begin() + 1, m_records.begin() + n + 1,
                                            [](const ReplyRecord& r) { return r.invalid != 0; });
        outcome = {allFlagged ? Outcome::RejectedInvalid : Outcome::TooFewReplies, {}, {}};
    }
    if (m_listener.ended) {
        m_listener.ended({outcome, result, m_records, m_rotation, m_labels, m_ntsDatesOffsetSec});
    }
}

bool BurstEngine::datesFailedAtLocalTime() const {
    for (int i = 0; i < m_rotation.size(); ++i) {
        const ServerTally& tally = m_rotation.tally(i);
        if (tally.status == ServerStatus::NtsFailed &&
            tally.kissCode == ntsFailureName(NtsKeFailure::CertificateExpired)) {
            return true;
        }
    }
    return false;
}

// Configured entries whose replies were averaged, one machine counting once: one name's
// addresses are one resolver's answer, and an NTS and a plain entry of one machine are one
// opinion. Entries that share an address are one group.
int BurstEngine::agreedEntries(const BurstResult& result) const {
    std::map<int, int> root;  // entry -> an entry of its group
    std::vector<std::pair<int, std::string>> agreed;
    for (std::size_t i = 0; i < result.servers.size(); ++i) {
        if (result.servers[i].agreed) {
            const ServerTally& tally = m_rotation.tally(static_cast<int>(i));
            agreed.emplace_back(tally.entry, tally.address);
            root[tally.entry] = tally.entry;
        }
    }
    const auto groupOf = [&root](int entry) {
        while (root[entry] != entry) {
            entry = root[entry];
        }
        return entry;
    };
    for (const auto& [entry, address] : agreed) {
        for (const auto& [other, otherAddress] : agreed) {
            if (address == otherAddress) {
                root[groupOf(entry)] = groupOf(other);
            }
        }
    }
    return static_cast<int>(std::ranges::count_if(
        root, [&groupOf](const auto& e) { return groupOf(e.first) == e.first; }));
}

}  // namespace korvel
