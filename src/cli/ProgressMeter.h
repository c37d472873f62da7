#pragma once
// The upload's progress for the tool's output: on a terminal one line redrawn in place (a
// bar, per cent, bytes, rate, time left); otherwise a plain line at every tenth of the way.
#include <ostream>

namespace fk {

class TProgressMeter {
public:
    TProgressMeter(std::ostream& out, bool terminal) noexcept
        : out_(out)
        , terminal_(terminal)
    {
    }

    // done of total bytes acknowledged after seconds of transfer.
    void Update(unsigned long long done, unsigned long long total, double seconds);
    // Ends the redrawn line (a terminal only).
    void Finish();

    static constexpr int BarWidth = 30;

private:
    std::ostream& out_;
    bool terminal_;
    bool drawn_ = false;
    int lastTenth_ = -1;
};

} // namespace fk
