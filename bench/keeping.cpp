// Days of unattended runs on the simulated machine, for every drift and link, with every run
// stepping (as before the keeper), with the keeper asking full bursts, and with the keeper as
// the tool runs it (short bursts where its model allows). Prints one Markdown table.
//   korvel-bench-keeping [SEEDS]   (default 50)

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/keeping_rig.h"

namespace {

using korvel::test::DayFigures;
using korvel::test::DayOptions;

const char* const kModes[] = {"stepping", "keeper, full bursts", "keeper (the tool)"};

struct Link {
    const char* name;
    korvel::test::PathDelay path;
};

}  // namespace

int main(int argc, char** argv) {
    const int seeds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const Link links[] = {{"LAN 100 µs + 100 µs", korvel::test::kLanPath},
                          {"home 20 ms + 5 ms", korvel::test::kHomePath}};
    std::printf(
        "%d simulated days per row; errors after the first hour; RMS over all days, "
        "max |error| the median day's and the worst day's\n\n",
        seeds);
    std::printf(
        "| link | drift ppm | mode | RMS ms | max ms (median day) | max ms (worst day) "
        "| steps/day | backward/day | backward after 2nd run | requests/h |\n");
    std::printf("|---|---:|---|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Link& link : links) {
        for (const double drift : {-100.0, 20.0, 100.0}) {
            for (const int mode : {0, 1, 2}) {
                double squares = 0, steps = 0, backward = 0, late = 0, requests = 0;
                std::vector<double> maxima;
                for (int seed = 1; seed <= seeds; ++seed) {
                    DayOptions options;
                    options.driftPpm = drift;
                    options.path = link.path;
                    options.keeper = mode > 0;
                    options.shortBursts = mode == 2;
                    options.seed = static_cast<std::uint64_t>(seed);
                    const DayFigures f = korvel::test::simulateDay(options);
                    squares += f.rmsErrorSec * f.rmsErrorSec;
                    maxima.push_back(f.maxErrorSec);
                    steps += f.steps;
                    backward += f.backwardSteps;
                    late += f.backwardStepsAfterSecondRun;
                    requests += f.requestsPerHour;
                }
                std::sort(maxima.begin(), maxima.end());
                std::printf(
                    "| %s | %+.0f | %s | %.3f | %.3f | %.3f | %.1f | %.1f | %.0f | %.1f |\n",
                    link.name, drift, kModes[mode], std::sqrt(squares / seeds) * 1e3,
                    maxima[maxima.size() / 2] * 1e3, maxima.back() * 1e3, steps / seeds,
                    backward / seeds, late, requests / seeds);
            }
        }
    }
    return 0;
}
