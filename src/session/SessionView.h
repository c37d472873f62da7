#pragma once
// What the device session shows. The main window implements this view over its widgets, the
// command-line tool over its output; the session calls it on the main thread only.
// Every operation has a default that does nothing, so a view implements what it shows.
#include "platform/Types.h"
#include "session/MessageTable.h"

namespace fk {

// The two timing knobs.
enum TSessionKnob : int {
    skOpenTime = 0,  // parameter byte 0, Knob1
    skBreakTime = 1, // parameter byte 1, Knob2
};

// Answers of a Yes/No/Cancel question.
enum TQuestionAnswer : int { qaYes = 6, qaNo = 7, qaCancel = 2 };

class TSessionView {
public:
    virtual ~TSessionView() = default;

    // Status line: the text of `index` (TMessageTable), followed by ": " and portSuffix when
    // that is not empty, with the image of the icon class.
    virtual void ShowStatus(int index, TIconClass iconClass, const String& portSuffix)
    {
        (void)index, (void)iconClass, (void)portSuffix;
    }
    // Status line emptied: no text, no image.
    virtual void ClearStatus() {}

    // Open time and break time knobs with their scroll bars, the venting button and their group.
    virtual void EnableDeviceControls(bool enabled) { (void)enabled; }
    virtual void EnableReboot(bool enabled) { (void)enabled; }
    virtual void EnableConnect(bool enabled) { (void)enabled; }
    // Connect is the default button while no port is open.
    virtual void SetConnectDefault(bool isDefault) { (void)isDefault; }
    virtual void EnableDisconnect(bool enabled) { (void)enabled; }

    // A knob's position and range (the matching scroll bar follows them).
    virtual void ShowKnob(TSessionKnob knob, int position, int min, int max)
    {
        (void)knob, (void)position, (void)min, (void)max;
    }

    // The two description texts beside the port list: version and build date, and
    // information text with serial number. Both empty without a device.
    virtual void ShowDescription(const String& version, const String& info) { (void)version, (void)info; }

    // The port list must be drawn again (the connected row, its icon, the device state).
    virtual void RepaintPortList() {}
    // The port list selects a row (-1: none).
    virtual void SelectPortListRow(int index) { (void)index; }
    // The status bar's display of the port in use.
    virtual void ShowPortInStatusBar() {}

    // The firmware upload's progress panel.
    virtual void ShowProgress(bool visible, int position, bool paused)
    {
        (void)visible, (void)position, (void)paused;
    }

    // A message box with the warning icon and an OK button (the firmware file's failures).
    virtual void ShowMessage(int index) { (void)index; }

    // The open-file dialog for firmware images ("Device Image files|*.img|All files|*.*"),
    // starting in folder. False when the user cancels it.
    virtual bool ChooseFirmwareFile(const String& folder, String& fileName)
    {
        (void)folder, (void)fileName;
        return false;
    }

    // An upload ended without the user's word: cause is the message index of what happened
    // ("Connection lost", "Can't return to bootloader", ...), erased tells whether the device
    // is left in its bootloader without firmware (else it keeps its old firmware). Shown so
    // that it stays until the user acts; it must not wait for the user before returning.
    virtual void UploadFailed(int cause, bool erased) { (void)cause, (void)erased; }

    // A Yes/No/Cancel question with the warning icon, Cancel being the default answer.
    virtual TQuestionAnswer AskQuestion(int index) { (void)index; return qaCancel; }
};

} // namespace fk
