#include "sntp/drift_model.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvel {
namespace {

// Runs every half hour of a clock whose offset grows by neededPpm, each run correcting it by
// what it measured (stepped or slewed) and leaving the frequency correction appliedPpm.
std::vector<DriftSample> history(int runs, double neededPpm, double appliedPpm,
                                 double startOffsetSec = 0.05) {
    std::vector<DriftSample> samples;
    double offset = startOffsetSec;
    for (int i = 0; i < runs; ++i) {
        samples.push_back({1e9 + 1800.0 * i, offset, 20e-6, true, offset, appliedPpm});
        offset = (neededPpm - appliedPpm) * 1e-6 * 1800.0;
    }
    return samples;
}

TEST(DriftModel, FindsTheFrequencyFromOffsetsWithTheCorrectionsAddedBack) {
    const struct {
        const char* what;
        std::vector<DriftSample> runs;
        bool known;
        double ppm;
    } cases[] = {
        {"one run", history(1, 100, 0), false, 0},
        {"two runs, nothing applied", history(2, 100, 0), true, 100},
        {"stepped and slewed each run", history(6, -37.5, 0), true, -37.5},
        {"a frequency already applied", history(6, 20, 18), true, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const DriftEstimate e = estimateDrift(c.runs, nullptr);
        EXPECT_EQ(e.known, c.known);
        if (c.known) {
            EXPECT_NEAR(e.frequency.ppm, c.ppm, 0.01);
            EXPECT_GT(e.frequency.uncertaintyPpm, 0.0);
            EXPECT_LT(e.frequency.uncertaintyPpm, 0.1);
        }
    }
}

TEST(DriftModel, LeavesOutDisagreeingAndStrayRunsButCountsTheirCorrections) {
    std::vector<DriftSample> untrusted = history(6, 50, 0);
    untrusted[3].offsetSec += 0.2;  // servers that disagreed, and it still slewed what it saw
    untrusted[3].correctedSec += 0.2;
    untrusted[3].trusted = false;
    untrusted[4].offsetSec -= 0.2;  // the slew of the bad run shows in the next, which undoes it
    untrusted[4].correctedSec -= 0.2;
    std::vector<DriftSample> stray = history(8, 50, 0);
    stray[6].offsetSec += 0.01;  // a jump the fit did not believe, nor correct
    for (const auto* runs : {&untrusted, &stray}) {
        const DriftEstimate e = estimateDrift(*runs, nullptr);
        EXPECT_NEAR(e.frequency.ppm, 50, 0.05);
    }
    EXPECT_EQ(estimateDrift(untrusted, nullptr).runsFitted, 5);
    EXPECT_EQ(estimateDrift(stray, nullptr).runsFitted, 7);
}

TEST(DriftModel, StartsFromAPriorAndSmoothsTheLastOffset) {
    const FrequencyEstimate prior{12.0, 0.5};
    const DriftEstimate first = estimateDrift(history(1, 12, 0), &prior);
    EXPECT_TRUE(first.known);
    EXPECT_DOUBLE_EQ(first.frequency.ppm, 12.0);
    EXPECT_DOUBLE_EQ(first.lastOffsetSec, 0.05);

    std::vector<DriftSample> noisy = history(6, 10, 10, 0.0);
    for (std::size_t i = 0; i < noisy.size(); ++i) {
        noisy[i].offsetSec = i % 2 == 0 ? 1e-4 : -1e-4;
        noisy[i].correctedSec = 0.0;
        noisy[i].spreadSec = 1e-4;
    }
    const DriftEstimate smoothed = estimateDrift(noisy, nullptr);
    EXPECT_LT(std::abs(smoothed.lastOffsetSec), 1e-4);
    EXPECT_NEAR(smoothed.frequency.ppm, 10.0, 0.2);
}

TEST(DriftModel, CarriesTheOffsetForwardByWhatTheAppliedFrequencyLeaves) {
    EXPECT_NEAR(carriedOffset(0.001, 100, 0, 1.3), 0.001 + 130e-6, 1e-12);
    EXPECT_NEAR(carriedOffset(0.001, 100, 100, 1.3), 0.001, 1e-12);
    EXPECT_NEAR(carriedOffset(-0.002, -20, 30, 2.0), -0.002 - 100e-6, 1e-12);
}

}  // namespace
}  // namespace korvel
