#include "ports/PortHolder.h"

#include "ports/FileHolders.h"
#include "ports/PortLock.h"

#include <cstdlib>
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
    // A known culprit first: ModemManager may have the port open beside another holder.
    for (const TFileHolder& h : list.Visible)
        if (Classify(h.Name) != pcProcess)
            return Report(h.Pid, h.Name);
    if (!list.Visible.empty())
        return Report(list.Visible.front().Pid, list.Visible.front().Name);
    if (!lockDirectory.empty()) {
        const int owner = LockOwner(TPortLock::LockFilePath(lockDirectory, devicePath));
        struct stat st {};
        if (owner > 0 && ::stat((procRoot + "/" + std::to_string(owner)).c_str(), &st) == 0) {
            const String name = holders.ProcessName(owner);
            if (!name.empty())
                return Report(owner, name);
        }
    }
    TPortHolderReport report;
    report.Culprit = list.Hidden ? pcOtherUser : pcNone;
    return report;
}

} // namespace fk
