#include "common/window_options.h"

#include <cmath>

namespace korvel {

namespace {

// A whole number in decimal digits alone, within [minimum, maximum].
std::optional<int> numberIn(const std::string& text, int minimum, int maximum) {
    if (text.empty()) {
        return std::nullopt;
    }
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || (value = value * 10 + (c - '0')) > maximum) {
            return std::nullopt;
        }
    }
    if (value < minimum) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

std::string wholeNumber(double value) {
    return std::to_string(std::lround(value));
}

}  // namespace

WindowOptions parseWindowOptions(const std::vector<std::string>& arguments) {
    WindowOptions options;
    bool autoSyncGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        if (name == "--tray" && equals == std::string::npos) {
            options.tray = true;
            continue;
        }
        if (name != "--auto-sync" && name != "--limit" && name != "--log") {
            options.problems.push_back("无法识别的选项: " + argument);
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("--")) {
            value = arguments[++i];
        } else {
            options.problems.push_back("选项 " + name + " 缺少值");
            continue;
        }
        if (name == "--log") {
            options.logPath = value;
        } else if (name == "--auto-sync") {
            autoSyncGiven = true;
            options.autoSyncTenths = numberIn(value, kAutoSyncTenthsMin, kAutoSyncTenthsMax);
            if (!options.autoSyncTenths) {
                options.problems.push_back("定时校时间隔 " + value + " 无法使用，应为 " +
                                           std::to_string(kAutoSyncTenthsMin) + " 到 " +
                                           std::to_string(kAutoSyncTenthsMax) + " (0.1 小时)");
            }
        } else {
            options.limitMs = numberIn(value, kLimitMsMin, kLimitMsMax);
            if (!options.limitMs) {
                options.problems.push_back("时差限制 " + value + " 无法使用，应为 " +
                                           std::to_string(kLimitMsMin) + " 到 " +
                                           std::to_string(kLimitMsMax) + " (毫秒)");
            }
        }
    }
    // As in the panel, the limit belongs to the schedule.
    if (options.limitMs && !autoSyncGiven) {
        options.problems.push_back("时差限制 (--limit) 只在定时校时 (--auto-sync) 开启时有效");
    }
    if (!options.autoSyncTenths) {
        options.limitMs.reset();
    }
    return options;
}

std::vector<std::string> windowArguments(const SyncSettings& settings, bool closeToTray) {
    std::vector<std::string> arguments;
    if (settings.autoSyncOn) {
        arguments.insert(arguments.end(), {"--auto-sync", wholeNumber(settings.autoSyncTenths)});
        if (settings.limitOn) {
            arguments.insert(arguments.end(), {"--limit", wholeNumber(settings.limitMs)});
        }
    }
    if (settings.logOn) {
        // One argument, so that a path like an option is still read as the path.
        arguments.push_back("--log=" + settings.logPath);
    }
    if (closeToTray) {
        arguments.push_back("--tray");
    }
    return arguments;
}

}  // namespace korvel
