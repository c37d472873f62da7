#pragma once
// TSettingsFile: a controller's settings as a file (JSON, UTF-8), to be applied to the same
// controller later or to the next one of its model.
//
//   {"format": "ferrovan-kest-settings", "version": 1, "saved": "2026-12-09T23:28:06Z",
//    "device": {"identifier": "0x00060001", "model": 6, "serial_number": "FK-SIM-0001",
//               "firmware_version": "1.2.0", "build_date": "2024-05-17"},
//    "parameters": {"open_time": {"value": 20, "unit": "ms"},
//                   "break_time": {"value": 50, "unit": "s", "steps": 5, "step_seconds": 10}}}
//
// Parse refuses a file that is not one of these (another format, a newer version, a missing
// or mistyped value) with the reason; Check refuses one made for another controller model or
// holding a value outside this controller's range; Differences lists what applying it changes.
#include "platform/Types.h"

#include <vector>

namespace fk {

class TAnsiCodePage;
class TDeviceSession;

// One value that applying a file changes: the parameter's offset, what the controller holds
// and what the file holds.
struct TSettingsDifference {
    unsigned Offset = 0;
    int From = 0;
    int To = 0;
};

class TSettingsFile {
public:
    static constexpr const char* FormatName = "ferrovan-kest-settings";
    static constexpr int FormatVersion = 1;

    String Saved;           // when it was saved (UTC, ISO 8601)
    u32 Identifier = 0;
    int Model = 0;
    String SerialNumber;    // UTF-8
    String FirmwareVersion; // "a.b.c"
    String BuildDate;       // "YYYY-MM-DD"
    int OpenTime = 0;       // ms
    int BreakTime = 0;      // the device's steps of 10 s

    // The connected controller's settings (its description and the parameters it holds).
    static TSettingsFile FromSession(const TDeviceSession& session, const TAnsiCodePage& codePage);

    String ToJson() const;
    // Writes the file (through a temporary file and a rename). False with error set.
    bool Save(const String& path, String& error) const;

    // Reads a file: false with error set to why it cannot be used ("cannot be read: ...",
    // "is not a settings file of this program", ...).
    static bool Load(const String& path, TSettingsFile& out, String& error);
    static bool Parse(const String& text, TSettingsFile& out, String& error);

    // Why this file must not be applied to session's controller (another model, a value
    // outside its range, naming the range); srNone when it may. The window words it in the
    // user's language from these fields.
    struct TRefusal {
        enum TKind { srNone, srModel, srOpenTime, srBreakTime } Kind = srNone;
        int Value = 0, Min = 0, Max = 0;   // the refused value and the controller's range (ms or s)
        int FileModel = 0, DeviceModel = 0; // another model: the file's and the controller's
        u32 FileIdentifier = 0, DeviceIdentifier = 0;
        String Firmware;                    // the controller's firmware version "a.b.c"
    };
    TRefusal Refusal(const TDeviceSession& session) const;
    // The refusal in English (the tool's message); empty when the file may be applied.
    String Check(const TDeviceSession& session) const;
    // What applying the file changes on session's controller, in parameter order.
    std::vector<TSettingsDifference> Differences(const TDeviceSession& session) const;
    // "open time 30 ms -> 22 ms; break time 50 s -> 60 s" (separator between the changes).
    static String DifferencesText(const std::vector<TSettingsDifference>& changes, const char* separator = "; ");
};

} // namespace fk
