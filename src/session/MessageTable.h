#pragma once
// The message and status texts of the device session: each index has a language key and a
// built-in English text. A language table may replace the texts; a key it leaves empty keeps
// its English default.
#include "platform/Types.h"

#include <array>
#include <functional>

namespace fk {

// Message-box icon classes; the status line uses them to pick its image.
enum TIconClass : u32 {
    icNone = 0x00,
    icError = 0x10,
    icQuestion = 0x20,
    icWarning = 0x30,
    icInformation = 0x40,
};

// Indexes of the table.
enum TMessageIndex : int {
    msgNoConnection = 0,
    msgStopUploadAsk = 1,
    msgFirmwareTooBig = 2,
    msgFirmwareMismatch = 3,
    msgFirmwareInvalid = 4,
    msgModuleDisconnectAsk = 5,
    staPortOpening = 6,
    staConnecting = 7,
    staUploading = 8,
    staConnected = 9,
    staDisconnected = 10,
    staConnectionLost = 11,
    staNoPortSelected = 12,
    staNoPorts = 13,
    staPortOpenFailed = 14,
    staPortInactive = 15,
    staPortInUse = 16,
    staTargetInactive = 17,
    staFirmwareCorrupted = 18,
    staBootFailed = 19,
    staBootloaderFailed = 20,
    staNotSupported = 21,
    // How an upload ended: the device runs the new firmware; an upload that failed before the
    // transfer (the old firmware stays); one interrupted during the transfer (the bootloader
    // holds no application). The two sentences about the device's firmware go with them.
    staUploadDone = 22,
    staUploadFailed = 23,
    staUploadInterrupted = 24,
    msgOldFirmwareKept = 25,
    msgNoFirmwareLeft = 26,
    // The device holds a parameter outside its firmware's range (the knob shows the nearest
    // end); the suffix is the device's value with its unit.
    staOpenTimeOutOfRange = 27,
    staBreakTimeOutOfRange = 28,
    // Why an upload failed after its transfer or could not go on with it, and what to do when
    // the new firmware did not start.
    staNewFirmwareNoStart = 29,
    msgNewFirmwareNoStartTodo = 30,
    staBlockNotBuilt = 31,
};

class TMessageTable {
public:
    static constexpr int Count = 32;

    TMessageTable();

    // The language key of an index ("msg_noconn"); empty outside 0..Count - 1.
    static const char* MessageKey(int index) noexcept;
    // The built-in English text of an index; empty outside 0..Count - 1.
    static const char* DefaultText(int index) noexcept;

    // The current text of an index; empty outside 0..Count - 1.
    const String& MessageText(int index) const;

    // Takes each text from lookup(key); an empty answer keeps the English default.
    void Translate(const std::function<String(const String& key)>& lookup);

private:
    std::array<String, Count> texts_;
};

} // namespace fk
