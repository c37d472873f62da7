#include "platform/Registry.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPair>
#include <QSettings>
#include <QString>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fk {

namespace {

// Values are stored as "<type>:<payload>" so that their type survives the INI format.
constexpr const char* kDword = "dword:";
constexpr const char* kString = "sz:";
constexpr const char* kBinary = "hex:";

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Registry paths use backslashes; QSettings groups use slashes. Empty segments are dropped.
std::string NormaliseKey(const std::string& key)
{
    std::string out;
    std::string segment;
    auto flush = [&] {
        if (!segment.empty()) {
            if (!out.empty())
                out += '/';
            out += segment;
            segment.clear();
        }
    };
    for (char c : key) {
        if (c == '\\' || c == '/')
            flush();
        else
            segment += c;
    }
    flush();
    return out;
}

bool ParseDword(const std::string& payload, DWORD& out)
{
    if (payload.empty() || payload.size() > 8)
        return false;
    DWORD v = 0;
    for (char c : payload) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return false;
        v = (v << 4) | DWORD(d);
    }
    out = v;
    return true;
}

bool ParseHex(const std::string& payload, std::vector<std::uint8_t>& out)
{
    if (payload.size() % 2 != 0)
        return false;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(payload.size() / 2);
    for (std::size_t i = 0; i < payload.size(); i += 2) {
        auto nib = [](char c) -> int {
            if (c >= '0' && c <= '9')
                return c - '0';
            if (c >= 'a' && c <= 'f')
                return c - 'a' + 10;
            return -1;
        };
        const int hi = nib(payload[i]);
        const int lo = nib(payload[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        bytes.push_back(std::uint8_t(hi << 4 | lo));
    }
    out = std::move(bytes);
    return true;
}

} // namespace

TRegistry::TRegistry()
{
    // A file far larger than any settings this program writes is not read at all (reading and
    // rewriting it would stall every save): it is set aside as damaged and the store starts
    // empty.
    const QString path = QString::fromStdString(StorePath());
    const QFileInfo file(path);
    if (file.isFile() && file.size() > MaxStoreSize) {
        const QString aside = QString::fromStdString(DamagedName());
        if (QFile::rename(path, aside))
            setAside_ = aside.toStdString();
    }
    settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
    damaged_ = settings_->status() != QSettings::NoError;
}

std::string TRegistry::DamagedName()
{
    // Every damaged file is kept: a second one gets the next free name, never the first's.
    const std::string base = StorePath() + ".damaged";
    if (!QFileInfo::exists(QString::fromStdString(base)))
        return base;
    for (int n = 2; n < 100; ++n) {
        const std::string name = base + "." + std::to_string(n);
        if (!QFileInfo::exists(QString::fromStdString(name)))
            return name;
    }
    return base + ".99"; // the newest ones take turns; the first ones stay
}

TRegistry::~TRegistry() = default;

std::string TRegistry::StorePath()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    return base + "/ferrovan-kest/registry.ini";
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate)
{
    const std::string path = NormaliseKey(key);
    if (!canCreate && !KeyExists(key)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    path_ = path;
    open_ = true;
    readOnly_ = false;
    if (canCreate) {
        // Make sure the folder exists so that the first write can succeed.
        QDir().mkpath(QFileInfo(QString::fromStdString(StorePath())).absolutePath());
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

bool TRegistry::OpenKeyReadOnly(const std::string& key)
{
    if (!KeyExists(key)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    path_ = NormaliseKey(key);
    open_ = true;
    readOnly_ = true;
    SetLastError(ERROR_SUCCESS);
    return true;
}

void TRegistry::CloseKey()
{
    settings_->sync();
    open_ = false;
    readOnly_ = true;
    path_.clear();
}

bool TRegistry::KeyExists(const std::string& key)
{
    const std::string path = NormaliseKey(key);
    if (path.empty())
        return true;
    const QString prefix = QString::fromStdString(path) + '/';
    const QStringList keys = settings_->allKeys();
    for (const QString& k : keys)
        if (k.startsWith(prefix))
            return true;
    return false;
}

std::string TRegistry::FullName(const std::string& name) const
{
    // A value name may not contain the separator: it would address another key.
    std::string clean;
    for (char c : name)
        clean += (c == '/' || c == '\\') ? '_' : c;
    if (clean.empty())
        clean = "@"; // the key's default value
    return path_.empty() ? clean : path_ + "/" + clean;
}

bool TRegistry::Raw(const std::string& name, std::string& out) const
{
    if (!open_)
        return false;
    const QVariant v = settings_->value(QString::fromStdString(FullName(name)));
    if (!v.isValid())
        return false;
    out = v.toString().toStdString();
    return true;
}

void TRegistry::RepairDamagedStore()
{
    // QSettings keeps a read or format error for the object's whole life and does not write a
    // file it could not read, so a damaged file would swallow every later write. Keep what did
    // parse, move the damaged file out of the way and start a fresh store with it. Only a
    // failed read counts: after a failed write the file on disk is still the good one.
    if (!damaged_)
        return;
    QList<QPair<QString, QVariant>> known;
    const QStringList keys = settings_->allKeys();
    for (const QString& k : keys)
        known.append({k, settings_->value(k)});
    const QString path = QString::fromStdString(StorePath());
    const QString aside = QString::fromStdString(DamagedName());
    QFile::remove(aside); // only ever the last of the numbered names
    if (!QFile::rename(path, aside))
        return; // it stays; the write reports the failure
    settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
    for (const auto& [k, v] : known)
        settings_->setValue(k, v);
    damaged_ = false;
}

bool TRegistry::Store(const std::string& name, const std::string& encoded)
{
    if (!open_ || readOnly_) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    RepairDamagedStore();
    settings_->setValue(QString::fromStdString(FullName(name)), QString::fromStdString(encoded));
    if (updating_ > 0) {
        SetLastError(ERROR_SUCCESS);
        return true; // written by EndUpdate
    }
    return Flush();
}

bool TRegistry::Flush()
{
    settings_->sync();
    if (settings_->status() != QSettings::NoError) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    return true;
}

void TRegistry::BeginUpdate() { ++updating_; }

bool TRegistry::EndUpdate()
{
    if (updating_ > 0 && --updating_ > 0)
        return true;
    return Flush();
}

std::string TRegistry::WriteProblem()
{
    const std::string problem = ProbeWrite();
    return problem.empty() ? std::strerror(EACCES) : problem;
}

std::string TRegistry::ProbeWrite()
{
    // The store only says that it could not write; find out why by doing what a write does:
    // make the folder, then create, fill and sync a file in it.
    const std::string path = StorePath();
    const std::string folder = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
    std::string probe = folder;
    for (std::size_t from = 1; from != std::string::npos && from <= probe.size();) {
        const std::size_t slash = probe.find('/', from);
        const std::string part = probe.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return std::strerror(errno);
        struct stat st {};
        if (::stat(part.c_str(), &st) != 0)
            return std::strerror(errno);
        if (!S_ISDIR(st.st_mode))
            return part + ": " + std::strerror(ENOTDIR);
        from = slash == std::string::npos ? slash : slash + 1;
    }
    probe = folder + "/.registry-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0)
        return std::strerror(errno);
    const std::string block(4096, '\n');
    int err = 0;
    if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()) || ::fsync(fd) != 0)
        err = errno != 0 ? errno : ENOSPC;
    ::close(fd);
    ::unlink(probe.c_str());
    if (err != 0)
        return std::strerror(err);
    if (QFileInfo(QString::fromStdString(path)).isDir())
        return path + ": " + std::strerror(EISDIR);
    return {};
}

bool TRegistry::ValueExists(const std::string& name) const
{
    std::string raw;
    return Raw(name, raw) && GetDataType(name) != TRegDataType::rdUnknown;
}

TRegDataType TRegistry::GetDataType(const std::string& name) const
{
    std::string raw;
    if (!Raw(name, raw))
        return TRegDataType::rdUnknown;
    DWORD d;
    std::vector<std::uint8_t> b;
    if (StartsWith(raw, kDword) && ParseDword(raw.substr(std::strlen(kDword)), d))
        return TRegDataType::rdInteger;
    if (StartsWith(raw, kString))
        return TRegDataType::rdString;
    if (StartsWith(raw, kBinary) && ParseHex(raw.substr(std::strlen(kBinary)), b))
        return TRegDataType::rdBinary;
    return TRegDataType::rdUnknown;
}

int TRegistry::GetDataSize(const std::string& name) const
{
    switch (GetDataType(name)) {
    case TRegDataType::rdInteger:
        return 4;
    case TRegDataType::rdString: {
        std::string s;
        ReadString(name, s);
        return static_cast<int>(s.size());
    }
    case TRegDataType::rdBinary: {
        std::vector<std::uint8_t> b;
        ReadBinary(name, b);
        return static_cast<int>(b.size());
    }
    default:
        return -1;
    }
}

bool TRegistry::ReadDword(const std::string& name, DWORD& out) const
{
    std::string raw;
    if (!Raw(name, raw) || !StartsWith(raw, kDword))
        return false;
    return ParseDword(raw.substr(std::strlen(kDword)), out);
}

bool TRegistry::ReadString(const std::string& name, std::string& out) const
{
    std::string raw;
    if (!Raw(name, raw) || !StartsWith(raw, kString))
        return false;
    out = raw.substr(std::strlen(kString));
    return true;
}

bool TRegistry::ReadBinary(const std::string& name, std::vector<std::uint8_t>& out) const
{
    std::string raw;
    if (!Raw(name, raw) || !StartsWith(raw, kBinary))
        return false;
    return ParseHex(raw.substr(std::strlen(kBinary)), out);
}

int TRegistry::ReadBinaryData(const std::string& name, void* buffer, int size) const
{
    std::vector<std::uint8_t> bytes;
    if (!ReadBinary(name, bytes)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return -1;
    }
    if (size < 0 || bytes.size() > static_cast<std::size_t>(size)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!bytes.empty())
        std::memcpy(buffer, bytes.data(), bytes.size());
    SetLastError(ERROR_SUCCESS);
    return static_cast<int>(bytes.size());
}

bool TRegistry::WriteDword(const std::string& name, DWORD value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", value);
    return Store(name, std::string(kDword) + buf);
}

bool TRegistry::WriteString(const std::string& name, const std::string& value)
{
    return Store(name, std::string(kString) + value);
}

bool TRegistry::WriteBinary(const std::string& name, const void* data, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(size * 2);
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hex += digits[p[i] >> 4];
        hex += digits[p[i] & 15];
    }
    return Store(name, std::string(kBinary) + hex);
}

bool TRegistry::DeleteValue(const std::string& name)
{
    if (!open_ || readOnly_) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    RepairDamagedStore();
    const QString full = QString::fromStdString(FullName(name));
    if (!settings_->contains(full)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    settings_->remove(full);
    if (updating_ > 0) {
        SetLastError(ERROR_SUCCESS);
        return true;
    }
    return Flush();
}

void TRegistry::Refresh() { settings_->sync(); }

} // namespace fk
