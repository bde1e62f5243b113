#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/system_time.h"
#include "platform/files.h"

namespace korvel {

struct MainForm;

// The append-only record of measurements and corrections. The channel stays open from the
// first good apply with logging ticked to the end of the program.
class TimeSyncLog {
public:
    // Opening the path already open keeps the channel; another path replaces it only once the
    // new file is open, so a bad path never loses a working log.
    FileError open(FileSystem& files, const std::string& path);
    void close();
    bool isOpen() const { return m_file != nullptr; }
    // False when the line did not reach the file.
    bool append(const std::string& line);

private:
    std::unique_ptr<TextAppender> m_file;
    std::string m_path;
};

// Line layouts.
std::string eventLine(const SystemTime& local, std::string_view text);
std::string scheduledStartLine(const SystemTime& local);
std::string resultLine(double offsetSec, bool autoRun);

// Writers: nothing is written while logging is off. The first line of a run that does not
// reach the file is said once, after the handler.
void logEvent(MainForm& form, std::string_view text);
void logPlain(MainForm& form, const std::string& line);

// The default log file: the program folder and the start date, "mm-dd-yyyy.log".
std::string defaultLogPath(const std::string& programFolder, const SystemTime& localNow);

}  // namespace korvel
