#pragma once
// The simulator's log: one line per event, prefixed with the seconds since the log was made.
// Safe to use from several threads. A default-made log writes nothing.
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace fk {

class TSimLog {
public:
    TSimLog() noexcept;
    TSimLog(const TSimLog&) = delete;
    TSimLog& operator=(const TSimLog&) = delete;

    // Writes to the standard error stream from now on.
    void ToStderr() noexcept;
    // Writes to the file (truncated); false with the last error when it cannot be created.
    bool ToFile(const std::string& path) noexcept;

    void Line(const std::string& text) noexcept;

private:
    struct FileCloser {
        void operator()(std::FILE* f) const noexcept { std::fclose(f); }
    };

    std::mutex mutex_;
    std::FILE* out_ = nullptr;
    std::unique_ptr<std::FILE, FileCloser> file_;
    const std::chrono::steady_clock::time_point start_;
};

} // namespace fk
