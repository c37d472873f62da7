#pragma once
// Records what TFaultReport is told while it lives ("where: what" per fault), instead of the
// reporter that was installed before.
#include "platform/FaultReport.h"

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace fk::test {

class TFaultLog {
public:
    TFaultLog()
        : previous_(TFaultReport::SetReporter(&Record))
    {
        std::lock_guard lock(Mutex());
        Stored().clear();
    }
    ~TFaultLog() { TFaultReport::SetReporter(previous_); }
    TFaultLog(const TFaultLog&) = delete;
    TFaultLog& operator=(const TFaultLog&) = delete;

    std::vector<std::string> Lines() const
    {
        std::lock_guard lock(Mutex());
        return Stored();
    }

private:
    static void Record(std::string_view where, std::string_view what)
    {
        std::lock_guard lock(Mutex());
        Stored().push_back(std::string(where) + ": " + std::string(what));
    }
    static std::mutex& Mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& Stored()
    {
        static std::vector<std::string> lines;
        return lines;
    }

    TFaultReport::TReporter previous_;
};

} // namespace fk::test
