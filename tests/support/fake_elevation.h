#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/elevated_correction.h"

namespace korvel::test {

// Records each elevated run's servers and agreed offset; the test ends the outstanding run when
// it chooses.
class FakeElevation final : public ElevatedCorrection {
public:
    bool needed() override { return required; }
    void correct(const std::vector<std::string>& servers, double agreedOffsetSec,
                 std::function<void(ElevatedRun)> done) override {
        runs.push_back(servers);
        agreedOffsets.push_back(agreedOffsetSec);
        m_pending = std::move(done);
    }
    void finish(ElevatedRun run) { std::exchange(m_pending, {})(std::move(run)); }

    bool required = false;
    std::vector<std::vector<std::string>> runs;
    std::vector<double> agreedOffsets;

private:
    std::function<void(ElevatedRun)> m_pending;
};

}  // namespace korvel::test
