#include "session/PortDiagnosis.h"

#include "connection/KestConnection.h"
#include "platform/LastError.h"
#include "ports/SerialPort.h"
#include "session/DeviceSession.h"

#include <string_view>

namespace fk {

bool TPortDiagnosis::OnSerialPort() const { return session_.Serial()->CommPort() == session_.SerialPort1(); }

void TPortDiagnosis::Opened(const String& fileName, u32 result)
{
    lastOpenError_ = result;
    portHolder_ = {};
    if (result == ERROR_ACCESS_DENIED && OnSerialPort() && !fileName.empty())
        portHolder_ = TPortHolder::Find(fileName, ProcRoot, session_.SerialPort1()->LockDirectory());
}

void TPortDiagnosis::PacketLoss(const void* buffer, DWORD transferred, TPacketLossReason reason)
{
    // Modem commands ("AT...\r") among the bytes the receiver threw away: ModemManager, which
    // runs as root and is not kept off by our exclusive use, probed the port we hold.
    if (reason == plrNotSent || !buffer || !OnSerialPort())
        return;
    const std::string_view bytes(static_cast<const char*>(buffer), transferred);
    for (auto at = bytes.find("AT"); at != std::string_view::npos; at = bytes.find("AT", at + 2)) {
        const auto end = bytes.find('\r', at);
        if (end != std::string_view::npos && end - at <= 64) {
            modemCommandBytes_ += u32(transferred);
            return;
        }
    }
}

std::vector<TFileHolder> TPortDiagnosis::OtherOpeners() const
{
    if (!OnSerialPort())
        return {};
    const String file = session_.SerialPort1()->GetCurrentFileName();
    return file.empty() ? std::vector<TFileHolder>() : TPortHolder::OtherOpeners(file, ProcRoot);
}

String TPortDiagnosis::OpenFailureReason() const
{
    const TSerialPort& port = *session_.SerialPort1();
    if (lastOpenError_ != ERROR_PORT_STALE_LOCK || !OnSerialPort() || port.StaleLockFile().empty())
        return {};
    return "a stale lock file of another user blocks the port: " + port.StaleLockFile();
}

} // namespace fk
