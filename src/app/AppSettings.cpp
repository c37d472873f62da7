#include "app/AppSettings.h"

#include "app/FirmwareFolder.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>

namespace fk {

namespace {

constexpr const char* kLanguageId = "LanguageID";
constexpr const char* kCurrentPort = "CurrentPort";
constexpr const char* kConnectedPort = "ConnectedPort";
// The identities of the adapters behind those names (new values beside the old ones).
constexpr const char* kCurrentPortIdentity = "CurrentPortIdentity";
constexpr const char* kConnectedPortIdentity = "ConnectedPortIdentity";
constexpr const char* kFirmwareDir = "FirmwareDir";
constexpr const char* kThemeStyle = "ThemeStyle";
constexpr const char* kOptions = "Options";
constexpr const char* kAlphaBlend = "AlphaBlend";

// The form SaveSettings writes: seven flag bits in one byte.
constexpr u8 kOptionBits = 7;
// The longest flag field an Options value may carry, in bytes.
constexpr std::size_t kMaxOptionBytes = 32;

constexpr DWORD kLanguageIds[lngCount] = {LanguageIdEnglish, LanguageIdPolish, LanguageIdRussian};

String ReadStringOrEmpty(const TRegistry& reg, const char* name)
{
    String value;
    return reg.ReadString(name, value) ? value : String();
}

// Writes a string, or deletes the value when the string is empty. False when that failed.
bool WriteOrDelete(TRegistry& reg, const char* name, const String& value)
{
    if (!value.empty())
        return reg.WriteString(name, value);
    return reg.DeleteValue(name) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

} // namespace

int LanguageOfId(DWORD languageId) noexcept
{
    for (int i = 0; i < lngCount; ++i)
        if (kLanguageIds[i] == languageId)
            return i;
    return -1;
}

DWORD IdOfLanguage(int language) noexcept
{
    return language >= 0 && language < lngCount ? kLanguageIds[language] : 0;
}

int LanguageOfLocale(const QLocale& locale)
{
    switch (locale.language()) {
    case QLocale::Polish:
        return lngPolish;
    case QLocale::Russian:
        return lngRussian;
    default:
        return lngEnglish;
    }
}

int DefaultLanguage()
{
    const QLocale system = QLocale::system();
    const QStringList ui = system.uiLanguages();
    return LanguageOfLocale(ui.isEmpty() ? system : QLocale(ui.first()));
}

bool DecodeOptions(const TByteString& value, u8& flags) noexcept
{
    if (value.size() < 2 || value[0] == 0)
        return false;
    const std::size_t bits = value[0];
    const std::size_t flagBytes = value.size() - 1;
    if (flagBytes > kMaxOptionBytes || flagBytes != (bits - 1) / 8 + 1)
        return false;
    // Only the first flag byte carries flags this program knows; bits the value does not
    // cover keep what they had (for the seven-bit form: bit 7).
    const u8 mask = bits >= 8 ? u8(0xFF) : u8((1u << bits) - 1);
    flags = u8((flags & ~mask) | (value[1] & mask));
    return true;
}

bool ReadStoredOptions(u8& flags, String* setAside)
{
    TRegistry reg;
    if (setAside)
        *setAside = reg.SetAside();
    TByteString value;
    return reg.OpenKeyReadOnly(AppSettingsKey) && reg.ReadBinary(kOptions, value) && DecodeOptions(value, flags);
}

bool LoadSettings(TAppSettings& settings, TStoredPlaces& places)
{
    TRegistry reg;
    places.SetAside = reg.SetAside();
    if (!reg.OpenKeyReadOnly(AppSettingsKey))
        return false;

    DWORD languageId = 0;
    if (reg.ReadDword(kLanguageId, languageId))
        if (const int language = LanguageOfId(languageId); language >= 0)
            settings.Language = language;

    places.CurrentPort = ReadStringOrEmpty(reg, kCurrentPort);
    places.ConnectedPort = ReadStringOrEmpty(reg, kConnectedPort);
    places.CurrentPortIdentity = ReadStringOrEmpty(reg, kCurrentPortIdentity);
    places.ConnectedPortIdentity = ReadStringOrEmpty(reg, kConnectedPortIdentity);

    if (String folder; reg.ReadString(kFirmwareDir, folder) && TFirmwareFolder::Usable(folder))
        places.FirmwareDir = folder;

    places.ThemeStyle.reset();
    if (String style; reg.ReadString(kThemeStyle, style))
        places.ThemeStyle = style;

    if (TByteString options; reg.ReadBinary(kOptions, options))
        DecodeOptions(options, settings.Options);

    TByteString alpha;
    if (!reg.ReadBinary(kAlphaBlend, alpha))
        settings.Opacity = 255;
    else if (alpha.size() == 1)
        settings.Opacity = std::max(alpha[0], TAppSettings::MinOpacity);
    return true;
}

bool SaveSettings(const TAppSettings& settings, const TStoredPlaces& places, String* problem)
{
    TRegistry reg;
    if (!reg.OpenKey(AppSettingsKey, true)) {
        if (problem)
            *problem = TRegistry::WriteProblem();
        return false;
    }
    // The whole record goes to the file in one write.
    reg.BeginUpdate();
    bool ok = true;
    if (const DWORD id = IdOfLanguage(settings.Language); id != 0)
        ok &= reg.WriteDword(kLanguageId, id);
    ok &= WriteOrDelete(reg, kCurrentPort, places.CurrentPort);
    ok &= WriteOrDelete(reg, kConnectedPort, places.ConnectedPort);
    ok &= WriteOrDelete(reg, kCurrentPortIdentity, places.CurrentPortIdentity);
    ok &= WriteOrDelete(reg, kConnectedPortIdentity, places.ConnectedPortIdentity);
    ok &= WriteOrDelete(reg, kFirmwareDir,
                        TFirmwareFolder::Usable(places.FirmwareDir) ? places.FirmwareDir : String());
    ok &= WriteOrDelete(reg, kThemeStyle, places.ThemeStyle.value_or(String()));
    const u8 options[2] = {kOptionBits, settings.Options};
    ok &= reg.WriteBinary(kOptions, options, sizeof options);
    if (settings.Opacity != 255)
        ok &= reg.WriteBinary(kAlphaBlend, &settings.Opacity, 1);
    else
        ok &= WriteOrDelete(reg, kAlphaBlend, String());
    ok &= reg.EndUpdate();
    reg.CloseKey();
    if (!ok && problem)
        *problem = TRegistry::WriteProblem();
    return ok;
}

} // namespace fk
