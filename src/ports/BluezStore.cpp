#include "ports/BluezStore.h"

#include "ports/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sstream>
#include <unistd.h>

namespace fk {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t MaxKeyFileSize = 1 << 20; // a device's key file is a few hundred bytes

std::vector<String> SortedEntries(const String& dir)
{
    std::vector<String> names;
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        return names;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            break;
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Undoes the escapes of BlueZ's key files (\s \n \t \r \\).
String Unescape(const String& v)
{
    String out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\' || i + 1 == v.size()) {
            out += v[i];
            continue;
        }
        switch (v[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        default: out += v[i]; break;
        }
    }
    return out;
}

// The Alias (else Name) of the [General] group of a key file; empty when there is none.
String ReadName(const String& file)
{
    // Read through a close-on-exec descriptor (a file stream's is inherited by children).
    TUniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid())
        return {};
    String text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || text.size() > MaxKeyFileSize)
            break;
        text.append(buf, std::size_t(n));
    }
    std::istringstream in(text);
    String line, group, name, alias;
    std::size_t lines = 0;
    while (std::getline(in, line) && ++lines <= 10000) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            group = line;
            continue;
        }
        if (group != "[General]")
            continue;
        const auto eq = line.find('=');
        if (eq == String::npos)
            continue;
        const String key = line.substr(0, eq);
        if (key == "Name")
            name = Unescape(line.substr(eq + 1));
        else if (key == "Alias")
            alias = Unescape(line.substr(eq + 1));
    }
    return alias.empty() ? name : alias;
}

} // namespace

TBluezStore::TBluezStore(const String& root)
    : root_(root)
{
}

bool TBluezStore::ParseAddress(const String& text, u64& address)
{
    if (text.size() != 17)
        return false;
    u64 value = 0;
    for (std::size_t i = 0; i < 17; ++i) {
        const char c = text[i];
        if (i % 3 == 2) {
            if (c != ':')
                return false;
            continue;
        }
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        value = (value << 4) | static_cast<u64>(digit);
    }
    address = value;
    return true;
}

std::vector<std::pair<u64, String>> TBluezStore::Devices() const
{
    std::vector<std::pair<u64, String>> devices;
    std::set<u64> seen;
    std::vector<String> adapters;
    u64 address;
    for (const String& adapter : SortedEntries(root_))
        if (ParseAddress(adapter, address))
            adapters.push_back(root_ + "/" + adapter);
    // Paired devices first, then those only seen.
    for (const bool cache : { false, true }) {
        for (const String& adapterDir : adapters) {
            const String dir = cache ? adapterDir + "/cache" : adapterDir;
            for (const String& device : SortedEntries(dir)) {
                if (!ParseAddress(device, address) || seen.count(address))
                    continue;
                String name = ReadName(dir + "/" + device + (cache ? "" : "/info"));
                if (!name.empty()) {
                    seen.insert(address);
                    devices.emplace_back(address, std::move(name));
                }
            }
        }
    }
    return devices;
}

} // namespace fk
