#include "link/CommLog.h"

#include <QFile>
#include <QLocale>
#include <QTime>
#include <cerrno>
#include <cmath>
#include <system_error>

#include "core/Clock.h"
#include "core/Context.h"

namespace zavo {

CommLog::CommLog(Ctx& ctx) : ctx_(ctx) {}

bool CommLog::Open(const std::filesystem::path& file) {
    Close();
    failure_.clear();
    errno = 0;
    out_.open(file, std::ios::out | std::ios::app | std::ios::binary);
    if (!out_) {
        const int e = errno;
        failure_ = "LOG FILE CANNOT BE OPENED: " + QFile::decodeName(file.string().c_str()) +
                   " (" +
                   QString::fromStdString(e ? std::generic_category().message(e)
                                            : std::string("no reason given")) +
                   ")";
        return false;
    }
    file_ = file;
    return true;
}

void CommLog::Close() {
    if (out_.is_open()) out_.close();
    out_.clear();
    file_.clear();
}

bool CommLog::IsOpen() const {
    return out_.is_open();
}

void CommLog::Record(const std::string& text) {
    if (!out_.is_open()) return;
    const double now = ctx_.clock ? ctx_.clock->Now() : 0.0;
    const QTime t = QTime::fromMSecsSinceStartOfDay(int(std::floor(now)) % 86400 * 1000);
    const std::string time = QLocale::system().toString(t, QLocale::ShortFormat).toStdString();
    out_ << time << ' ' << text << "\r\n";
    // Each record reaches the disk at once: the log must survive a crash.
    out_.flush();
}

}  // namespace zavo
