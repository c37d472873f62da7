#pragma once
// Where the firmware file chooser starts. At start-up: the "Firmware" folder under the working
// folder when it holds image files (*.img), replaced by the remembered folder when that still
// exists. After a successful load the device session moves it to the folder of the loaded
// image itself (TDeviceSession::FirmwareDir), and that folder is what the settings remember.
#include "platform/Types.h"

namespace fk {

class TFirmwareFolder {
public:
    // The full path of <workingFolder>/Firmware when it holds at least one *.img file (any
    // letter case), else empty.
    static String StartFolder(const String& workingFolder);
    // The folder to start in: the remembered one when it exists, else StartFolder.
    static String InitialFolder(const String& workingFolder, const String& remembered);
    // True for a non-empty path naming an existing folder (what may be remembered).
    static bool Usable(const String& folder);
};

} // namespace fk
