#pragma once
// The configurator's preferences: the settings record the main window keeps (and the
// preferences dialog copies as a whole), and its persistence under the current user's key
// Software\NORDVEL\Ferrovan-Kest in the settings store.
//
// LoadSettings and SaveSettings touch nothing but the store and the values handed to them: the
// window applies what was loaded (the skin by name, the remembered ports, the firmware folder)
// and supplies what is saved, so both run without a window.
#include "platform/Registry.h"
#include "platform/Types.h"

#include <optional>

class QLocale;

namespace fk {

// Option flag bits of TAppSettings::Options.
enum TAppOption : u8 {
    optPreview = 0x01,            // the preferences dialog applies every change at once
    optMultiInstance = 0x02,      // no single-instance guard
    optWasConnected = 0x04,       // written at exit: a port was open when the window closed
    optRememberConnection = 0x08, // reconnect at start-up when the last run ended connected
    optConnectAtStartup = 0x10,   // connect to the selected port at start-up
    optScreenSnap = 0x20,         // windows snap to the screen edges
    optShowPassword = 0x40,       // the module dialog shows the pass phrase
};

// User interface languages, in the order of the Language menu.
enum TAppLanguage : int { lngEnglish = 0, lngPolish = 1, lngRussian = 2, lngCount = 3 };

struct TAppSettings {
    int Language = lngEnglish; // index into the Language menu
    int Skin = 0;              // index of the checked Skin menu item, -1 when none
    u8 Opacity = 255;          // window opacity 96..255; 255 = opaque
    u8 Options = 0;            // TAppOption bits

    static constexpr u8 MinOpacity = 96;

    bool Has(TAppOption option) const noexcept { return (Options & option) != 0; }
    void Set(TAppOption option, bool on) noexcept
    {
        Options = on ? u8(Options | option) : u8(Options & ~option);
    }
    bool operator==(const TAppSettings&) const = default;
};

// The persisted values that live outside the record.
struct TStoredPlaces {
    String CurrentPort;   // the port being connected, or the last one after a device was lost
    String ConnectedPort; // the port on which a device was connected
    // The identities of the adapters behind them ("usb:0403:6001:A50285BI"), empty for a
    // port known by name only; an older settings file has none.
    String CurrentPortIdentity;
    String ConnectedPortIdentity;
    String FirmwareDir;   // the firmware file chooser's folder
    // Load: the stored style name, none when absent. Save: the active style's name.
    std::optional<String> ThemeStyle;
    // Load: the copy an oversized settings file was set aside as when it was opened, or empty.
    String SetAside;
};

// The key of the configurator's values in the settings store.
inline constexpr const char* AppSettingsKey = "Software\\NORDVEL\\Ferrovan-Kest";

// Windows language identifiers of the three languages.
inline constexpr DWORD LanguageIdEnglish = 0x0409;
inline constexpr DWORD LanguageIdPolish = 0x0415;
inline constexpr DWORD LanguageIdRussian = 0x0419;

// The menu index of a language identifier, -1 for any other identifier.
int LanguageOfId(DWORD languageId) noexcept;
// The identifier of a menu index, 0 for an index out of range.
DWORD IdOfLanguage(int language) noexcept;
// The language of a locale: Polish and Russian are theirs, anything else English.
int LanguageOfLocale(const QLocale& locale);
// The user's default interface language (the first of the system's interface languages).
int DefaultLanguage();

// Start-up read of the whole record. False (nothing changed) when the key cannot be opened.
// Values absent or of the wrong form leave their field as it was, except as noted:
// CurrentPort and ConnectedPort are cleared when absent; FirmwareDir is replaced only by a
// stored folder that exists; ThemeStyle is the stored name or none; Opacity is 255 when
// AlphaBlend is absent.
bool LoadSettings(TAppSettings& settings, TStoredPlaces& places);
// Writes the whole record, in one write of the store's file; empty values are deleted. False
// when the write failed, with why in problem (when given).
bool SaveSettings(const TAppSettings& settings, const TStoredPlaces& places, String* problem = nullptr);

// The stored option flags taken into flags (the program reads them before any window exists);
// false when the key or a valid Options value is missing (flags then stay as they are).
// setAside (when given) names the copy an oversized settings file was set aside as.
bool ReadStoredOptions(u8& flags, String* setAside = nullptr);
// The flag bits of an Options value (byte 0 = number of flag bits, then the flag bytes) taken
// into flags. A value of another length than its bit count needs is refused (false, flags
// unchanged); bits beyond the count keep their value.
bool DecodeOptions(const TByteString& value, u8& flags) noexcept;

} // namespace fk
