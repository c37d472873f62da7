#include "platform/FaultReport.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>

namespace fk {

namespace {

std::atomic<TFaultReport::TReporter> reporter{nullptr};

} // namespace

std::string TFaultReport::CurrentText()
{
    const std::exception_ptr current = std::current_exception();
    if (!current)
        return "no exception";
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "an exception of an unknown type";
    }
}

void TFaultReport::Caught(std::string_view where) noexcept
{
    try {
        const std::string what = CurrentText();
        Write(where, what);
    } catch (...) {
        Write(where, "an exception (no memory to describe it)");
    }
}

void TFaultReport::Write(std::string_view where, std::string_view what) noexcept
{
    std::fprintf(stderr, "%s: fault in %.*s: %.*s\n", program_invocation_short_name, int(where.size()), where.data(),
                 int(what.size()), what.data());
    if (const TReporter r = reporter.load(std::memory_order_acquire)) {
        try {
            r(where, what);
        } catch (...) {
            // The reporter itself failed (no memory for its line): standard error has it.
        }
    }
}

TFaultReport::TReporter TFaultReport::SetReporter(TReporter value) noexcept
{
    return reporter.exchange(value, std::memory_order_acq_rel);
}

} // namespace fk
