// Fuzzes the settings store's reading of its INI file: the input is the whole file.
// Rules: every value of the program's key reads as at most one type, and as the type
// GetDataType names, with the size GetDataSize gives; a binary read into a buffer that is too
// small fails without writing; a value that was read, written back as the same type (which
// sets a damaged file aside first), reads back the same.
#include "platform/Registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using fk::TRegDataType;
using fk::TRegistry;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// A private configuration folder for this process, removed at exit.
std::string g_folder;

void RemoveFolder()
{
    std::remove((g_folder + "/ferrovan-kest/registry.ini").c_str());
    std::remove((g_folder + "/ferrovan-kest/registry.ini.damaged").c_str());
    ::rmdir((g_folder + "/ferrovan-kest").c_str());
    ::rmdir(g_folder.c_str());
}

void Prepare()
{
    if (!g_folder.empty())
        return;
    // In memory where possible: every write of the store is synced to its file.
    char shm[] = "/dev/shm/fk-registry-fuzz-XXXXXX";
    char tmp[] = "/tmp/fk-registry-fuzz-XXXXXX";
    char* dir = ::mkdtemp(shm);
    if (!dir)
        dir = ::mkdtemp(tmp);
    Check(dir != nullptr);
    g_folder = dir;
    ::setenv("XDG_CONFIG_HOME", dir, 1);
    ::mkdir((g_folder + "/ferrovan-kest").c_str(), 0700);
    std::atexit(RemoveFolder);
}

const char* const Key = "Software\\NORDVEL\\Ferrovan-Kest";
const char* const Names[] = {"LanguageID", "CurrentPort", "ConnectedPort", "FirmwareDir", "ThemeStyle",
                             "Options",    "AlphaBlend",  "",              "a/b"};

struct TValue {
    TRegDataType Type = TRegDataType::rdUnknown;
    fk::DWORD Dword = 0;
    std::string Text;
    std::vector<std::uint8_t> Binary;
};

TValue ReadValue(const TRegistry& reg, const std::string& name)
{
    TValue v;
    const bool isDword = reg.ReadDword(name, v.Dword);
    const bool isString = reg.ReadString(name, v.Text);
    const bool isBinary = reg.ReadBinary(name, v.Binary);
    Check(int(isDword) + int(isString) + int(isBinary) <= 1);
    v.Type = isDword ? TRegDataType::rdInteger
        : isString   ? TRegDataType::rdString
        : isBinary   ? TRegDataType::rdBinary
                     : TRegDataType::rdUnknown;
    Check(reg.GetDataType(name) == v.Type);
    Check(reg.ValueExists(name) == (v.Type != TRegDataType::rdUnknown));
    const int size = reg.GetDataSize(name);
    switch (v.Type) {
    case TRegDataType::rdInteger: Check(size == 4); break;
    case TRegDataType::rdString: Check(size == int(v.Text.size())); break;
    case TRegDataType::rdBinary: Check(size == int(v.Binary.size())); break;
    default: Check(size == -1);
    }
    if (isBinary && !v.Binary.empty()) {
        std::vector<std::uint8_t> small(v.Binary.size() - 1, 0xA5);
        Check(reg.ReadBinaryData(name, small.data(), int(small.size())) == -1);
        for (const std::uint8_t b : small)
            Check(b == 0xA5);
    }
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 65536)
        return 0;
    Prepare();
    {
        std::FILE* f = std::fopen((g_folder + "/ferrovan-kest/registry.ini").c_str(), "wb");
        Check(f != nullptr);
        Check(std::fwrite(data, 1, size, f) == size);
        std::fclose(f);
    }
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(Key))
        return 0;
    std::vector<TValue> values;
    for (const char* name : Names)
        values.push_back(ReadValue(reg, name));
    reg.CloseKey();

    Check(reg.OpenKey(Key, true));
    for (std::size_t i = 0; i < values.size(); ++i) {
        const TValue& v = values[i];
        switch (v.Type) {
        case TRegDataType::rdInteger: reg.WriteDword(Names[i], v.Dword); break;
        case TRegDataType::rdString: reg.WriteString(Names[i], v.Text); break;
        case TRegDataType::rdBinary: reg.WriteBinary(Names[i], v.Binary.data(), v.Binary.size()); break;
        default: continue;
        }
        const TValue back = ReadValue(reg, Names[i]);
        Check(back.Type == v.Type && back.Dword == v.Dword && back.Text == v.Text && back.Binary == v.Binary);
    }
    return 0;
}
