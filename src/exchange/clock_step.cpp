#include "exchange/clock_step.h"

namespace korvel {

Outcome stepOutcome(ClockStep step) {
    switch (step) {
        case ClockStep::Stepped:
            return Outcome::Stepped;
        case ClockStep::Unknown:
            return Outcome::StepUnknown;
        case ClockStep::NotAuthorised:
        case ClockStep::AutomaticSync:
        case ClockStep::NoRight:
        case ClockStep::Rejected:
            break;
    }
    return Outcome::StepRefused;
}

std::string competingServiceNotice(const std::string& serviceName) {
    return "提示：本机的时间服务 " + serviceName + " 正在运行，它可能会撤销这次校准。";
}

}  // namespace korvel
