#include "support/keeping_rig.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "sntp/burst_evaluation.h"
#include "sntp/correction_policy.h"
#include "sntp/keeper.h"
#include "sntp/sent_requests.h"
#include "sntp/server_rotation.h"

namespace korvel::test {

namespace {

constexpr double kSlewRate = 500e-6;
constexpr int kServers = 3;
constexpr int kRepliesToEvaluate = 25;
// From the evaluation to the clock's correction.
constexpr double kProcessingSec = 0.05;

// The machine's clock in true time: a wandering oscillator, the kernel's frequency correction
// and single-shot slew, steps. The monotonic clock follows everything but steps.
class SimulatedClock {
public:
    SimulatedClock(const DayOptions& o, std::mt19937_64& random)
        : m_wall(o.initialErrorSec),
          m_rate(o.driftPpm * 1e-6),
          m_walk(o.randomWalkPerRootSec),
          m_random(random) {}

    void advanceTo(double t) {
        while (m_t < t) {
            const double h = std::min(t, m_nextWalk) - m_t;
            const double slewed =
                std::copysign(std::min(std::abs(m_slewLeft), kSlewRate * h), m_slewLeft);
            const double gained = h * (m_rate + m_frequency) + slewed;
            m_wall += h + gained;
            m_steady += h + gained;
            m_slewLeft -= slewed;
            m_t += h;
            if (m_t >= m_nextWalk) {
                m_rate += std::normal_distribution<double>(0.0, m_walk)(m_random);
                m_nextWalk += 1.0;
            }
        }
    }
    double wall() const { return m_wall; }
    double steady() const { return m_steady; }
    double error() const { return m_wall - m_t; }
    double frequencyPpm() const { return m_frequency * 1e6; }
    void setFrequencyPpm(double ppm) { m_frequency = ppm * 1e-6; }
    void slew(double sec) { m_slewLeft = sec; }
    void step(double sec) { m_wall += sec; }

private:
    double m_t = 0.0;
    double m_wall;
    double m_steady = 0.0;
    double m_rate;
    double m_walk;
    double m_frequency = 0.0;
    double m_slewLeft = 0.0;
    double m_nextWalk = 1.0;
    std::mt19937_64& m_random;
};

struct Burst {
    BurstEvaluation evaluation;
    ReplyRecords records{};
    double evaluatedAt = 0.0;  // true time
    int requests = 0;
};

// One burst as the tool runs it: a request every 100 ms to the servers in turn, at most eight to
// each (every one answers here), the evaluation at the 25th reply or once all are answered.
Burst runBurst(SimulatedClock& clock, double start, const PathDelay& path, int limit,
               std::mt19937_64& random) {
    const int requests = std::min(limit, kServers * kMostRequestsToOneServer);
    const int repliesToEvaluate = std::min(requests, kRepliesToEvaluate);
    std::exponential_distribution<double> jitter(1.0 / path.jitterMeanSec);
    std::vector<double> answeredAt;
    // Events in true time: sends (even) and arrivals (odd) of each exchange.
    std::vector<std::pair<double, int>> events;
    for (int k = 0; k < requests; ++k) {
        const double sent = start + 0.1 * k;
        answeredAt.push_back(sent + path.baseSec + jitter(random));
        events.push_back({sent, 2 * k});
        events.push_back({answeredAt.back() + path.baseSec + jitter(random), 2 * k + 1});
    }
    std::sort(events.begin(), events.end());
    Burst burst;
    std::vector<double> sentLocal(static_cast<std::size_t>(requests));
    int replies = 0;
    for (const auto& [at, what] : events) {
        clock.advanceTo(at);
        const int k = what / 2;
        if (what % 2 == 0) {
            sentLocal[k] = clock.wall();
            ++burst.requests;
        } else if (replies < repliesToEvaluate) {
            ReplyRecord& r = burst.records[static_cast<std::size_t>(++replies)];
            r.t1 = sentLocal[k];
            r.t2 = answeredAt[k];
            r.t3 = r.t2;
            r.t4 = clock.wall();
            r.server = static_cast<std::int16_t>(k % kServers);
            if (replies == repliesToEvaluate) {
                burst.evaluatedAt = at;
                burst.evaluation =
                    evaluateBurst(burst.records, replies, kServers, 1e-6, slowestDroppedOf(limit));
            }
        }
    }
    return burst;
}

}  // namespace

DayFigures simulateDay(const DayOptions& options) {
    std::mt19937_64 random(options.seed);
    std::uniform_real_distribution<double> delay(0.0, options.randomDelaySec);
    SimulatedClock clock(options, random);
    KeeperState state;
    DayFigures figures;
    double squares = 0.0;
    int samples = 0;
    int requests = 0;
    double nextRun = options.firstRunSec + delay(random);
    for (double t = 1.0; t <= options.durationSec; t += 1.0) {
        if (nextRun <= t) {
            const double start = nextRun;
            nextRun = start + options.intervalSec + delay(random);
            clock.advanceTo(start);
            const int limit = options.keeper && options.shortBursts
                                  ? keepingRequests(state, clock.wall())
                                  : kRequestsPerBurst;
            Burst burst = runBurst(clock, start, options.path, limit, random);
            requests += burst.requests;
            ++figures.runs;
            if (burst.evaluation.outcome == Outcome::Evaluated) {
                const BurstResult& result = burst.evaluation.result;
                clock.advanceTo(burst.evaluatedAt + kProcessingSec);
                double step = result.offsetSec;
                if (options.keeper) {
                    const KeeperInput input =
                        keeperInput(result, burst.records, clock.wall(), clock.steady(),
                                    clock.frequencyPpm(), figures.runs == 1);
                    std::string note;
                    continueKeeperState(state, "boot", input.wallSec, input.steadySec, true, note);
                    const KeeperDecision decision =
                        decideCorrection({.run = CorrectionRun::Unattended,
                                          .offsetSec = input.offsetSec,
                                          .serversListed = kServers,
                                          .agreedServers = result.agreedServers,
                                          .holdsRightToStep = true,
                                          .firstRunAfterBoot = input.firstRunAfterBoot,
                                          .everyResponderAgrees = input.everyResponderAgrees,
                                          .keeper = &state,
                                          .keeping = input})
                            .keeping.value_or(KeeperDecision{});
                    if (decision.frequencyPpm) {
                        clock.setFrequencyPpm(*decision.frequencyPpm);
                    }
                    step = decision.action == KeeperAction::Stepped ? decision.phaseSec : 0.0;
                    if (decision.action == KeeperAction::Slewed) {
                        clock.slew(decision.phaseSec);
                    }
                    recordKeeperRun(state, input, decision);
                }
                if (step != 0.0) {
                    clock.step(step);
                    ++figures.steps;
                    figures.backwardSteps += step < 0 ? 1 : 0;
                    figures.backwardStepsAfterSecondRun += step < 0 && figures.runs > 2 ? 1 : 0;
                }
            }
        }
        clock.advanceTo(t);
        if (t > 3600.0) {
            const double error = std::abs(clock.error());
            squares += error * error;
            ++samples;
            figures.maxErrorSec = std::max(figures.maxErrorSec, error);
        }
    }
    figures.rmsErrorSec = samples > 0 ? std::sqrt(squares / samples) : 0.0;
    figures.requestsPerHour = requests / (options.durationSec / 3600.0);
    return figures;
}

}  // namespace korvel::test
