#pragma once
// TJournalFile: an append-only file of whole lines that several programs write at once (the
// window and the tool share the service journal).
//
// Every Append opens the file (created 0600), takes an exclusive flock for the length of the
// append and writes the line with one write() on an O_APPEND descriptor, so a crash never
// leaves half a line and two programs never interleave theirs. Opening per append also
// follows a file that the user moved away or deleted meanwhile.
//
// The file is bounded: before a line would take it beyond Limit() bytes, the oldest half of
// it (whole lines) moves to a numbered copy beside it (journal.1.jsonl, journal.2.jsonl, ...
// higher numbers are newer) and the newer half stays. Nothing is deleted.
//
// A failure never stops the caller: Append returns false, FailureText() says why, and the
// first failure of a run is handed to OnFailure once (the program tells its user there).
#include "platform/Types.h"

#include <functional>
#include <string_view>
#include <vector>

namespace fk {

class TJournalFile {
public:
    static constexpr u64 DefaultLimit = u64(10) << 20; // 10 MiB

    explicit TJournalFile(String path, u64 limit = DefaultLimit)
        : path_(std::move(path))
        , limit_(limit)
    {
    }

    const String& Path() const noexcept { return path_; }
    u64 Limit() const noexcept { return limit_; }

    // Appends line (a '\n' is added when it has none). False with FailureText() set.
    bool Append(std::string_view line);

    // "the service journal PATH cannot be written: REASON", after a failed Append.
    const String& FailureText() const noexcept { return failure_; }
    // Called once per object, with FailureText(), at the first failed Append.
    std::function<void(const String&)> OnFailure;

    // The numbered copies that exist beside path, oldest first, then path itself (when it
    // exists): the whole journal in the order it was written.
    static std::vector<String> Parts(const String& path);
    // The name of copy number n of path: "journal.jsonl" -> "journal.N.jsonl".
    static String CopyName(const String& path, unsigned n);

private:
    bool Fail(int err, const char* what);
    // Moves the oldest half of the file (size bytes; its lock held) to the next numbered copy.
    bool MoveOldestHalf(u64 size);

    String path_;
    u64 limit_;
    String failure_;
    bool reported_ = false;
};

} // namespace fk
