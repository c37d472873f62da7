#include "platform/RuntimeFolder.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace fk {

namespace {

// Creates dir (mode 0700) when missing; true when it is a private directory of this user.
bool PrivateDirectory(const std::string& dir)
{
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
        && (st.st_mode & 077) == 0;
}

} // namespace

std::string TRuntimeFolder::Path()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        const std::string dir = std::string(runtime) + "/ferrovan-kest";
        if (PrivateDirectory(dir))
            return dir;
    }
    const std::string dir = "/tmp/ferrovan-kest-" + std::to_string(::getuid());
    return PrivateDirectory(dir) ? dir : std::string();
}

} // namespace fk
