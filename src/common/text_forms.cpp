#include "common/text_forms.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/day_date.h"

namespace korvel {

std::string logDateText(const SystemTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u-%02u-%04u", unsigned{t.month}, unsigned{t.day},
                  unsigned{t.year});
    return text;
}

std::string logTimeText(const SystemTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", unsigned{t.hour}, unsigned{t.minute},
                  unsigned{t.second});
    return text;
}

std::string clockDisplayText(double value) {
    const SystemTime t = fieldsOfDayDate(value);
    char text[48];
    std::snprintf(text, sizeof text, " %04u-%02u-%02u  %02u:%02u:%02u", unsigned{t.year},
                  unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                  unsigned{t.second});
    return text;
}

// Written the same whatever the locale says of decimal points.
std::string sixDecimals(double seconds) {
    char text[400];
    const auto end = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 6);
    return {text, end.ptr};
}

std::string tenthsAsHours(int tenths) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d", tenths / 10, tenths % 10);
    return text;
}

double roundHalfEven(double value) {
    return std::nearbyint(value);
}

}  // namespace korvel
