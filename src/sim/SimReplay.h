#pragma once
// TSimReplay: what a diagnostic trace tells about the controller it recorded, as settings of
// the simulated controller, so that the simulator answers as that controller did.
//
// From the packets the controller sent (rx lines of a trace by `ferrovan` or `ferrovan-kest`,
// over a serial port or through a wireless module) it takes the device information, the
// firmware description and the parameters byte for byte: the first device information (the
// run mode and the corrupt flag the program found), the first firmware description, and the
// last parameter block the controller reported with the writes it confirmed after it. From
// the requests (tx lines, counted from 1) it takes where the controller fell silent for good
// and where its replies came late from then on. What the trace does not tell stays as given.
// Notes() says, for the simulator's log, which parts came from the trace.
#include "sim/SimOptions.h"

#include <string>
#include <vector>

namespace fk {

class TTraceFileReader;

class TSimReplay {
public:
    // A reply that comes this much (ms) after its request or later counts as late.
    static constexpr unsigned LateThresholdMs = 100;
    // The requests at the end of a trace count as unanswered when there are two of them (the
    // request and its resend), or when the trace went on this long (s) after the first.
    static constexpr double SilenceSeconds = 1.0;

    // Reads the trace file; false with Error() ("line N: ...") when it is no trace or holds no
    // packet of a controller.
    bool Load(const std::string& path);
    // The same on a trace already read.
    bool Take(const TTraceFileReader& trace);

    // Sets what the trace told on options; the rest of options stays.
    void Apply(TSimOptions& options) const;

    const std::string& Error() const noexcept { return error_; }
    const std::vector<std::string>& Notes() const noexcept { return notes_; }

private:
    TSimOptions told_;
    bool deviceInfo_ = false, firmwareInfo_ = false, parameters_ = false;
    std::string error_;
    std::vector<std::string> notes_;
};

} // namespace fk
