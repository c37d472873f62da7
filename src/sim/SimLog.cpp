#include "sim/SimLog.h"

#include "platform/LastError.h"

#include <cerrno>

namespace fk {

TSimLog::TSimLog() noexcept : start_(std::chrono::steady_clock::now()) {}

void TSimLog::ToStderr() noexcept
{
    std::lock_guard lock(mutex_);
    file_.reset();
    out_ = stderr;
}

bool TSimLog::ToFile(const std::string& path) noexcept
{
    std::FILE* f = std::fopen(path.c_str(), "we");
    if (!f) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    std::lock_guard lock(mutex_);
    file_.reset(f);
    out_ = f;
    SetLastError(ERROR_SUCCESS);
    return true;
}

void TSimLog::Line(const std::string& text) noexcept
{
    std::lock_guard lock(mutex_);
    if (!out_)
        return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start_).count();
    std::fprintf(out_, "[%6lld.%03lld] %s\n", static_cast<long long>(ms / 1000),
                 static_cast<long long>(ms % 1000), text.c_str());
    std::fflush(out_);
}

} // namespace fk
