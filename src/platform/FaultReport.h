#pragma once
// TFaultReport: where a failure that no caller can be told about is written down.
//
// An exception thrown by an event handler, by a thread's body or by a call handed to the main
// thread must not leave the dispatcher, the thread or a C callback. Those places catch it and
// report it here, so it is never lost: a line on standard error ("ferrovan: fault in WHERE:
// WHAT") and, when a reporter is installed (the diagnostic trace installs one while it is
// active), the same to the reporter. WHAT is std::exception::what() when the exception is one.
//
// Safe on any thread; reporting never throws. The reporter is process-wide: the one active
// trace installs it, a test may install its own and restore the old one.
#include <string>
#include <string_view>

namespace fk {

class TFaultReport {
public:
    using TReporter = void (*)(std::string_view where, std::string_view what);

    // Reports the exception being handled; call it only inside a catch block.
    static void Caught(std::string_view where) noexcept;
    // Reports a failure that is no exception.
    static void Write(std::string_view where, std::string_view what) noexcept;
    // The exception being handled, as text: its what() or the name of its kind.
    static std::string CurrentText();

    // Installs reporter (null: standard error only) and returns the one it replaces.
    static TReporter SetReporter(TReporter reporter) noexcept;
};

} // namespace fk
