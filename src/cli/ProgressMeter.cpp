#include "cli/ProgressMeter.h"

#include <cstdio>
#include <string>

namespace fk {

void TProgressMeter::Update(unsigned long long done, unsigned long long total, double seconds)
{
    if (total == 0)
        return;
    if (done > total)
        done = total;
    const int percent = static_cast<int>(done * 100 / total);
    if (!terminal_) {
        const int tenth = percent / 10;
        if (tenth == lastTenth_)
            return;
        lastTenth_ = tenth;
        out_ << "Uploading: " << percent << "% (" << done << " of " << total << " bytes)\n" << std::flush;
        return;
    }
    const int filled = static_cast<int>(done * BarWidth / total);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(BarWidth - filled), '.');
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    char left[32] = "--:--";
    if (rate > 0) {
        const long s = static_cast<long>(static_cast<double>(total - done) / rate + 0.5);
        std::snprintf(left, sizeof left, "%ld:%02ld", s / 60, s % 60);
    }
    char line[160];
    std::snprintf(line, sizeof line, "\r[%s] %3d%%  %llu/%llu bytes  %.0f B/s  %s left ", bar.c_str(), percent, done,
                  total, rate, left);
    out_ << line << std::flush;
    drawn_ = true;
}

void TProgressMeter::Finish()
{
    if (drawn_)
        out_ << "\n" << std::flush;
    drawn_ = false;
}

} // namespace fk
