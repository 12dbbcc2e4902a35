#include "sync/FileDate.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include <algorithm>
#include <sys/stat.h>

namespace syncrun {

std::string GetFileDate(const std::string& fullPath) {
    struct stat st {};
    if (::stat(fullPath.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return {};
    return FileDate(st.st_mtim);
}

std::string FileDate(const timespec& modified) {
    // The locale's short date and time, as QDateTime's local time gives
    // them; localtime_r, because Qt sets the zone up again on every call,
    // a look at /etc/localtime for each new file.
    const std::time_t seconds = modified.tv_sec;
    std::tm local{};
    if (!::localtime_r(&seconds, &local)) return {};
    const QLocale locale;
    const QDate date(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    const QTime time(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59),
                     static_cast<int>(modified.tv_nsec / 1000000));
    return (locale.toString(date, QLocale::ShortFormat) + u' ' + locale.toString(time, QLocale::ShortFormat))
        .toStdString();
}

}  // namespace syncrun
