#pragma once
// TServiceJournal: the service record of every change a program makes to a controller.
//
// Attached to a device session, it writes one JSON line for each record the session raises
// (OnRecord): each connection's identification, every parameter write the device confirmed
// (old and new value), a venting toggle, a restart, a firmware upload's end, a settings file
// applied. Each line carries the time (UTC), the program, the port or module, the user name
// and the device's serial number and identifier. The window and the tool attach one each and
// share the file ($XDG_DATA_HOME/ferrovan-kest/journal.jsonl): TJournalFile appends whole
// lines under a lock and keeps the file bounded.
//
// Read() gives the records back (numbered copies first) for `ferrovan journal` and the
// window's journal dialog; Describe() says in one line what a record tells.
#include "platform/Component.h"
#include "platform/Types.h"
#include "session/SessionRecord.h"
#include "support/AnsiCodePage.h"
#include "support/JournalFile.h"

#include <functional>
#include <vector>

namespace fk {

class TDeviceSession;

// One record read back. The fields every record has, its description, and its line.
struct TJournalEntry {
    String Time;    // "2026-12-09T23:28:06.123Z"
    String Program; // "ferrovan-kest", "ferrovan set", ...
    String Event;   // "identified", "parameter", "venting", "restart", "upload", "settings-applied"
    String Port;
    String User;
    String Device;  // the serial number
    String Description;
    String Line;    // the record as stored (one JSON object)
};

class TServiceJournal : public TObject {
public:
    static constexpr int FormatVersion = 1;

    // program: the name written into every record; codePage: of the device's 8-bit texts
    // (0: the user's locale's).
    explicit TServiceJournal(String program, String path = DefaultPath(), unsigned codePage = 0);
    ~TServiceJournal() override;
    TServiceJournal(const TServiceJournal&) = delete;
    TServiceJournal& operator=(const TServiceJournal&) = delete;

    // $XDG_DATA_HOME/ferrovan-kest/journal.jsonl, else ~/.local/share/ferrovan-kest/journal.jsonl.
    static String DefaultPath();

    // Records what session raises from now on (session's OnRecord is taken). The session must
    // go first, or be detached before the journal goes.
    void Attach(TDeviceSession& session);
    void Detach();

    // Writes one record about session's device. False when the journal could not be written
    // (reported once through OnFailure; the work goes on).
    bool Write(const TDeviceSession& session, const TSessionRecord& record);

    TJournalFile& File() noexcept { return file_; }
    // Called once, at the first failed write, with the reason ("the service journal PATH
    // cannot be written: ...").
    void SetOnFailure(std::function<void(const String&)> handler) { file_.OnFailure = std::move(handler); }

    // Every record of the journal at path, oldest first; lines that are no record are skipped
    // (counted in skipped when given).
    static std::vector<TJournalEntry> Read(const String& path, std::size_t* skipped = nullptr);
    // One line about what a record tells ("open time 30 ms -> 22 ms").
    static String Describe(const String& line);
    // CSV for a spreadsheet: the header line, and one cell of text whose control characters
    // the caller has escaped: quoted when it must be, quotes doubled, and a leading =, +, -
    // or @ kept from being read as a formula.
    static constexpr const char* CsvHeader = "time,program,port,user,device,event,description\r\n";
    static String CsvCell(const String& escaped);
    // The parameter change in words: "open time 30 ms -> 22 ms", "break time 50 s -> 60 s".
    static String ChangeText(unsigned offset, int from, int to);

private:
    void OnRecord(TObject* sender, const TSessionRecord& record);

    String program_;
    TJournalFile file_;
    TAnsiCodePage codePage_;
    String user_;
    TDeviceSession* session_ = nullptr;
    String lastFirmware_; // the firmware version of the last identification (an upload's "before")
};

} // namespace fk
