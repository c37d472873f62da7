#pragma once
// The current user's settings store, shaped like a registry hive: keys named by
// backslash-separated paths ("Software\\NORDVEL\\Ferrovan-Kest") holding typed values
// (DWORD, string, binary). It lives in one INI file,
// $XDG_CONFIG_HOME/ferrovan-kest/registry.ini (or ~/.config/... without XDG_CONFIG_HOME).
// Every value carries its type; a value read as another type counts as absent. Each write
// is stored at once and atomically (written to a temporary file and renamed), so a crash
// never leaves a half-written file. A file that cannot be read or parsed counts as empty for
// reading (the values that did parse stay readable); the first write after that sets the damaged
// file aside as registry.ini.damaged and writes a fresh one holding every value still known.
// A file larger than MaxStoreSize is not read: it is set aside as damaged when the store is
// opened. Damaged files are never overwritten: the next one is registry.ini.damaged.2, and so on.
// Between BeginUpdate and EndUpdate writes are kept and stored together by EndUpdate.
#include "platform/LastError.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QSettings;

namespace fk {

enum class TRegDataType { rdUnknown, rdInteger, rdString, rdBinary };

class TRegistry {
public:
    TRegistry();
    ~TRegistry();

    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // Settings files beyond this size are not read.
    static constexpr long long MaxStoreSize = 1 << 20;

    // The file that holds the hive.
    static std::string StorePath();
    // Where a damaged store file is set aside: the first of .damaged, .damaged.2, ... that is free.
    static std::string DamagedName();
    // Why the store cannot be written now, in words (the folder or file named when it is the
    // culprit); call it after a failed write.
    static std::string WriteProblem();
    // Whether a write would be stored now: empty when it would, else why not (as WriteProblem).
    static std::string ProbeWrite();
    // The name an oversized file was set aside under when this store was opened; empty when not.
    const std::string& SetAside() const noexcept { return setAside_; }

    // Opens a key for reading and writing; with canCreate a missing key is created.
    bool OpenKey(const std::string& key, bool canCreate);
    // Opens an existing key for reading only.
    bool OpenKeyReadOnly(const std::string& key);
    void CloseKey();
    bool KeyExists(const std::string& key);
    const std::string& CurrentPath() const noexcept { return path_; }
    bool ReadOnly() const noexcept { return readOnly_; }

    bool ValueExists(const std::string& name) const;
    TRegDataType GetDataType(const std::string& name) const;
    // Size in bytes of a binary value (string: its length; DWORD: 4); -1 when absent.
    int GetDataSize(const std::string& name) const;

    bool ReadDword(const std::string& name, DWORD& out) const;
    bool ReadString(const std::string& name, std::string& out) const;
    bool ReadBinary(const std::string& name, std::vector<std::uint8_t>& out) const;
    // Copies a binary value into buffer; fails (87) when it is larger than size.
    int ReadBinaryData(const std::string& name, void* buffer, int size) const;

    bool WriteDword(const std::string& name, DWORD value);
    bool WriteString(const std::string& name, const std::string& value);
    bool WriteBinary(const std::string& name, const void* data, std::size_t size);
    bool DeleteValue(const std::string& name);

    // Writes after BeginUpdate are stored once, by the matching EndUpdate (false when that
    // failed, with ERROR_ACCESS_DENIED); updates nest.
    void BeginUpdate();
    bool EndUpdate();

    // Re-reads the file (changes made by another process become visible).
    void Refresh();

private:
    bool Raw(const std::string& name, std::string& out) const;
    bool Store(const std::string& name, const std::string& encoded);
    bool Flush();
    // Before a write: replaces a store whose file could not be read or parsed.
    void RepairDamagedStore();
    std::string FullName(const std::string& name) const;

    std::unique_ptr<QSettings> settings_;
    std::string path_;
    bool open_ = false;
    bool readOnly_ = true;
    bool damaged_ = false; // the file could not be read or parsed
    int updating_ = 0;     // BeginUpdate depth
    std::string setAside_;
};

} // namespace fk
