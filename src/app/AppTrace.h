#pragma once
// The window's diagnostic trace (--trace FILE): opens the file and makes it the program's
// trace for as long as this object lives. A file that cannot be opened leaves tracing off and
// everything else as it is; the failure is told on standard error and, once the window is
// up, in a message box over it, which stays until the user closes it.
#include "platform/Types.h"
#include "support/TraceSink.h"

#include <QString>

class QWidget;

namespace fk {

class TAppTrace {
public:
    TAppTrace() = default;
    ~TAppTrace();
    TAppTrace(const TAppTrace&) = delete;
    TAppTrace& operator=(const TAppTrace&) = delete;

    // Opens path and activates the trace with its first line; false with Error() set.
    bool Open(const String& path, const String& version);
    bool Active() const noexcept { return sink_.IsOpen(); }
    // Why the trace file could not be opened; empty when it was (or none was asked for).
    const QString& Error() const noexcept { return error_; }
    // The failure's message box over window (nothing without a failure).
    void ShowFailure(QWidget* window) const;

private:
    TTraceSink sink_;
    QString error_;
};

} // namespace fk
