#pragma once
// Simulated modules for the tests of the module link and of the window: modules on loopback
// addresses that share one pair of free ports, as modules on one network share theirs.
#include "ModuleTestUtil.h"
#include "sim/SimModule.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fk::test {

class TSimModules {
public:
    TSimModules()
        : UDPPort(FreePort())
        , TCPPort(FreePort())
    {
    }

    // Starts a module at ip that announces every 200 ms; change adjusts its options first, and
    // with controller a simulated controller answers behind it.
    TSimModule& Start(const std::string& ip, const std::function<void(TSimModuleOptions&)>& change = {},
                      bool controller = false)
    {
        TSimModuleOptions o;
        o.Address = ip;
        o.UDPPort = UDPPort;
        o.TCPPort = TCPPort;
        o.AnnounceIntervalMs = 200;
        if (change)
            change(o);
        modules_.push_back(std::make_unique<TSimModule>(o, log_));
        EXPECT_TRUE(modules_.back()->Open());
        if (controller) {
            EXPECT_TRUE(modules_.back()->AddController(TSimOptions{}));
        }
        EXPECT_TRUE(modules_.back()->Start());
        return *modules_.back();
    }
    void Stop(TSimModule& module)
    {
        for (auto it = modules_.begin(); it != modules_.end(); ++it)
            if (it->get() == &module) {
                modules_.erase(it);
                return;
            }
    }
    void Clear() { modules_.clear(); }
    TSimModule& operator[](std::size_t i) { return *modules_.at(i); }

    const u16 UDPPort;
    const u16 TCPPort;

private:
    TSimLog log_;
    std::vector<std::unique_ptr<TSimModule>> modules_;
};

// How many of a module's commands start with prefix.
inline std::size_t CommandCount(const TSimModule& module, const std::string& prefix)
{
    std::size_t n = 0;
    for (const std::string& c : module.Commands())
        n += c.rfind(prefix, 0) == 0;
    return n;
}

} // namespace fk::test
