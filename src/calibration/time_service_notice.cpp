#include "calibration/time_service_notice.h"

#include "ui/form/main_form.h"

namespace korvel {

std::string competingServiceNotice(const std::string& serviceName) {
    return "提示：本机的时间服务 " + serviceName + " 正在运行，它可能会撤销这次校准。";
}

std::string competingTimeServiceNotice(MainForm& form) {
    const std::string service = form.platform.systemClock.competingTimeService();
    return service.empty() ? std::string() : competingServiceNotice(service);
}

}  // namespace korvel
