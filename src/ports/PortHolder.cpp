#include "ports/PortHolder.h"

#include "ports/FileHolders.h"
#include "ports/PortLock.h"

#include <algorithm>
#include <cstdlib>
#include <unistd.h>
#include <utility>
#include <fstream>
#include <sys/stat.h>

namespace fk {

namespace {

TPortHolderReport Report(int pid, const String& name)
{
    TPortHolderReport report;
    report.Pid = pid;
    report.Name = name;
    report.Culprit = TPortHolder::Classify(name);
    return report;
}

// The process id in a lock file ("      1234\n"), 0 when there is none.
int LockOwner(const String& path)
{
    std::ifstream in(path);
    long pid = 0;
    if (!(in >> pid) || pid <= 0 || pid > 0x7FFFFFFF)
        return 0;
    return int(pid);
}

} // namespace

TPortCulprit TPortHolder::Classify(const String& processName)
{
    if (processName == "ModemManager")
        return pcModemManager;
    if (processName == "brltty")
        return pcBrltty;
    if (processName == "ferrovan-kest")
        return pcConfigurator;
    if (processName == "ferrovan")
        return pcTool;
    return pcProcess;
}

TPortHolderReport TPortHolder::Find(const String& devicePath, const String& procRoot, const String& lockDirectory)
{
    const TFileHolders holders(procRoot);
    const TFileHolderList list = holders.OfDevice(devicePath);
    std::vector<TFileHolder> order;
    const auto add = [&order](int pid, const String& name) {
        if (pid > 0 && !name.empty()
            && std::none_of(order.begin(), order.end(), [pid](const TFileHolder& h) { return h.Pid == pid; }))
            order.push_back({pid, name, 0});
    };
    // The lock holder first: the one keeping us out, whoever it runs as.
    for (const int pid : holders.LockHolders(devicePath))
        add(pid, holders.ProcessName(pid));
    // A process named in the lock file, if it really holds the port (its id may be reused).
    if (!lockDirectory.empty()) {
        const int owner = LockOwner(TPortLock::LockFilePath(lockDirectory, devicePath));
        struct stat st {};
        if (owner > 0 && ::stat((procRoot + "/" + std::to_string(owner)).c_str(), &st) == 0
            && holders.Holds(owner, devicePath) != TFileHolders::hsNo)
            add(owner, holders.ProcessName(owner));
    }
    // A known culprit next: ModemManager may have the port open beside another holder.
    for (const TFileHolder& h : list.Visible)
        if (Classify(h.Name) != pcProcess)
            add(h.Pid, h.Name);
    for (const TFileHolder& h : list.Visible)
        add(h.Pid, h.Name);
    if (!order.empty()) {
        TPortHolderReport report = Report(order.front().Pid, order.front().Name);
        report.Others.assign(order.begin() + 1, order.end());
        return report;
    }
    TPortHolderReport report;
    report.Culprit = list.Hidden ? pcOtherUser : pcNone;
    if (report.Culprit == pcOtherUser) {
        // Root's daemons cannot be looked into; one that is known to take serial ports and
        // runs is the likely holder.
        for (const auto& [name, culprit] : {std::pair<const char*, TPortCulprit>{"ModemManager", pcLikelyModemManager},
                                            {"brltty", pcLikelyBrltty}}) {
            const TFileHolder daemon = holders.FindProcess(name);
            if (daemon.Pid > 0) {
                report.Culprit = culprit;
                report.Pid = daemon.Pid;
                report.Name = name;
                break;
            }
        }
    }
    return report;
}

std::vector<TFileHolder> TPortHolder::OtherOpeners(const String& devicePath, const String& procRoot)
{
    std::vector<TFileHolder> others = TFileHolders(procRoot).OfDevice(devicePath).Visible;
    const int self = int(::getpid());
    others.erase(std::remove_if(others.begin(), others.end(), [self](const TFileHolder& h) { return h.Pid == self; }),
                 others.end());
    return others;
}

} // namespace fk
