#pragma once
// TRuntimeFolder: the program's folder for lock files and sockets that belong to the running
// user's session: $XDG_RUNTIME_DIR/ferrovan-kest, or /tmp/ferrovan-kest-<uid> where there is no
// runtime folder. It is created with mode 0700; a folder that is not a directory of ours
// with that mode (a link, another user's folder) is not used.
#include <string>

namespace fk {

class TRuntimeFolder {
public:
    // The folder, created when missing; empty when no usable folder can be had.
    static std::string Path();
};

} // namespace fk
