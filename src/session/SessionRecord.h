#pragma once
// What the device session reports for the service record: every change it made to the
// controller that the controller confirmed, and each identification. The session raises
// OnRecord with one of these; the service journal (TServiceJournal) writes them down, so the
// window and the tool record the same things without code of their own.
#include "platform/Event.h"
#include "platform/Types.h"

namespace fk {

enum TSessionRecordKind : int {
    srIdentified,      // the device is connected: its description and parameters were read
    srParameter,       // a parameter write that the device acknowledged (Offset, Old, New)
    srVenting,         // the device answered a venting toggle
    srRestart,         // the device answered a restart that was asked for (Reboot)
    srUploadEnded,     // a firmware upload ended (Result, Image*, Text)
    srSettingsApplied, // a settings file was applied (Text: the file; Result; Changes)
};

struct TSessionRecord {
    TSessionRecordKind Kind = srIdentified;
    // srParameter: the parameter's offset (0 open time, 1 break time) and its values.
    unsigned Offset = 0;
    int Old = 0;
    int New = 0;
    // srUploadEnded, srSettingsApplied: "ok", "failed" or "aborted".
    String Result;
    // srUploadEnded: the image's identifier and digest (hex), and whether the new firmware's
    // description has been read (the session's FirmwareInfo is the firmware after the upload).
    u32 ImageIdentifier = 0;
    String ImageDigest;
    bool FirmwareRead = false;
    // srSettingsApplied: the file and what it changed ("open time 30 ms -> 22 ms; ...").
    String File;
    String Changes;
    // Why it failed (English), empty when it did not.
    String Text;
};

using TSessionRecordEvent = TEvent<TObject*, const TSessionRecord&>;

} // namespace fk
