#pragma once
// TTraceSink: the diagnostic trace, a file of JSON lines (one object a line, UTF-8, each line
// written out as soon as it is complete) that tells what the program did and what the user
// saw: packets sent and received, module commands and replies, the session's states, the
// status texts, message boxes and their answers, port events.
//
// Every line starts with "time" (seconds since the trace was opened, three decimals) and
// "event". This class is the only place that formats trace lines: the other components
// report through the static hooks below, which do nothing (one atomic load) while no sink is
// active, so a program without a trace file pays nothing for them. Callers whose arguments
// cost something to build ask Enabled() first.
//
// The file is bounded: before a line would take it beyond Limit() bytes, the oldest half of
// it (whole lines) is dropped and a "trace-trimmed" line notes how many bytes went. Opening
// a trace file empties it. Only regular files are taken (a stream cannot be trimmed).
//
// Hooks may be called from any thread; lines are written whole under a lock. The active sink
// is set by the program's entry point (or a test) and must outlive every hook call while it
// is active; the destructor deactivates it.
#include "platform/LastError.h"
#include "platform/Types.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <string_view>

namespace fk {

class TTraceSink {
public:
    static constexpr u64 DefaultLimit = u64(64) << 20; // 64 MiB
    // The last error of an Open refused because the path names no regular file (a folder, a
    // device, a FIFO): the platform's "bad file type".
    static constexpr DWORD ErrorNotRegularFile = ERROR_BAD_FILE_TYPE;
    // The trace path names a symbolic link (never followed), or a file of another user.
    static constexpr DWORD ErrorSymbolicLink = ERROR_BAD_FILE_TYPE + 1;
    static constexpr DWORD ErrorOtherOwner = ERROR_BAD_FILE_TYPE + 2;

    TTraceSink() = default;
    ~TTraceSink();
    TTraceSink(const TTraceSink&) = delete;
    TTraceSink& operator=(const TTraceSink&) = delete;

    // Creates or empties the file. False with the last error set (nothing else changes: a
    // sink that was open stays open on its old file).
    bool Open(const String& path, u64 limit = DefaultLimit);
    void Close() noexcept;
    bool IsOpen() const noexcept { return fd_ >= 0; }
    const String& Path() const noexcept { return path_; }
    u64 Limit() const noexcept { return limit_; }
    // Bytes in the file now.
    u64 Size() const noexcept;
    // A line could not be written (disk full, ...): the trace has a gap.
    bool WriteFailed() const noexcept { return writeFailed_; }

    // "cannot open the trace file PATH: REASON", after a failed Open.
    static String OpenFailureText(const String& path);

    // --- the active sink (null: tracing is off)
    static TTraceSink* Active() noexcept { return active_.load(std::memory_order_acquire); }
    static bool Enabled() noexcept { return Active() != nullptr; }
    // Makes sink (open) the active one; null turns tracing off. A sink made active also
    // receives the faults the program reports (TFaultReport).
    static void SetActive(TTraceSink* sink) noexcept;

    // --- hooks; each does nothing while no sink is active
    // The first line: which program writes the trace.
    static void Start(std::string_view program, std::string_view version)
    {
        if (TTraceSink* s = Active())
            s->WriteStart(program, version);
    }
    // A packet written to a port (sent) or cut from its received bytes: its message code, the
    // code's name when it has one, and its bytes as they travel.
    static void Packet(bool sent, std::string_view port, int code, std::string_view name, const void* bytes,
                       std::size_t size)
    {
        if (TTraceSink* s = Active())
            s->WritePacket(sent, port, code, name, bytes, size);
    }
    // Received bytes that belong to no packet (line noise, another program's output, a
    // packet cut short), with why they were dropped.
    static void Dropped(std::string_view port, std::string_view reason, const void* bytes, std::size_t size)
    {
        if (TTraceSink* s = Active())
            s->WriteDropped(port, reason, bytes, size);
    }
    // A wireless module's command (sent) or reply; text must hold no pass phrase.
    static void ModuleText(bool sent, std::string_view module, std::string_view text)
    {
        if (TTraceSink* s = Active())
            s->WriteModuleText(sent, module, text);
    }
    // The session's device and upload states, after a change.
    static void State(std::string_view device, std::string_view upload)
    {
        if (TTraceSink* s = Active())
            s->WriteState(device, upload);
    }
    // The status line's text as shown ("" when it was emptied); written when it differs from
    // the last one (the status line is shown again with the same text, e.g. at every block
    // of an upload).
    static void Status(std::string_view text)
    {
        if (TTraceSink* s = Active())
            s->WriteStatus(text);
    }
    // A message box with only an OK button, once it was closed.
    static void Message(std::string_view text)
    {
        if (TTraceSink* s = Active())
            s->WriteText("message", text);
    }
    // A question and the answer given ("yes", "no", "cancel", ...).
    static void Question(std::string_view text, std::string_view answer)
    {
        if (TTraceSink* s = Active())
            s->WriteQuestion(text, answer);
    }
    // A port event: action "opened", "open-failed" (with error), "closed" (with reason),
    // "lost" (with error), "not-exclusive" (with error), "arrived", "removed".
    static void Port(std::string_view action, std::string_view port, std::string_view reason = {}, u32 error = 0)
    {
        if (TTraceSink* s = Active())
            s->WritePort(action, port, reason, error);
    }

    // A failure caught where it could not be handed back (an event handler or a thread that
    // threw): where it was caught and what it was.
    static void Fault(std::string_view where, std::string_view what)
    {
        if (TTraceSink* s = Active())
            s->WriteFault(where, what);
    }

    // Why the program ends without being closed (a signal, the display connection lost)
    // and what it did about the device, before Exit.
    static void Ending(std::string_view cause)
    {
        if (TTraceSink* s = Active())
            s->WriteText("ending", cause);
    }

    // The program ends with this exit status.
    static void Exit(int status)
    {
        if (TTraceSink* s = Active())
            s->WriteExit(status);
    }

    // Appends s to out as a JSON string (quoted, escaped; bytes that are not UTF-8 become
    // U+FFFD).
    static void AppendJsonString(std::string& out, std::string_view s);
    // Append ,"name":value to out (a JSON string or a number): the members of a JSON line
    // after its first.
    static void AppendMember(std::string& out, std::string_view name, std::string_view value);
    static void AppendNumber(std::string& out, std::string_view name, long long value);

private:
    void WriteStart(std::string_view program, std::string_view version);
    void WritePacket(bool sent, std::string_view port, int code, std::string_view name, const void* bytes,
                     std::size_t size);
    void WriteDropped(std::string_view port, std::string_view reason, const void* bytes, std::size_t size);
    void WriteModuleText(bool sent, std::string_view module, std::string_view text);
    void WriteState(std::string_view device, std::string_view upload);
    void WriteText(std::string_view event, std::string_view text);
    void WriteStatus(std::string_view text);
    void WriteExit(int status);
    void WriteFault(std::string_view where, std::string_view what);
    void WriteQuestion(std::string_view text, std::string_view answer);
    void WritePort(std::string_view action, std::string_view port, std::string_view reason, u32 error);

    // The start of a line: {"time":T,"event":"E"
    std::string Begin(std::string_view event) const;
    // Ends the line and writes it.
    void Finish(std::string& line);
    void WriteLocked(const std::string& line);
    bool DropOldestHalf();

    static std::atomic<TTraceSink*> active_;

    mutable std::mutex mutex_;
    int fd_ = -1;
    String path_;
    u64 limit_ = DefaultLimit;
    u64 size_ = 0;
    bool writeFailed_ = false;
    std::string status_; // the last status text written
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace fk
