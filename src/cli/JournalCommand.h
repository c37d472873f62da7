#pragma once
// `ferrovan journal`: prints the service journal, oldest first, as text (one line a record),
// JSON lines or CSV, optionally only one controller's records or those from a date on.
// Text from a device (serial numbers, information texts) is escaped as everywhere in the tool;
// CSV cells that a spreadsheet would take for a formula are kept as text.
#include "cli/CommandLine.h"
#include "platform/Types.h"

#include <ostream>
#include <vector>

namespace fk {

class TJournalCommand {
public:
    TJournalCommand(std::ostream& out, std::ostream& err)
        : out_(out)
        , err_(err)
    {
    }

    int Run(const std::vector<std::string>& args, const std::vector<TOptionSpec>& options);

    // A date or date and time as --since takes it ("2026-12-09", "2026-12-09T08:30",
    // "2026-12-09 08:30:15"), in the journal's own form; empty when it is none.
    static String SinceKey(const String& text);
    // One CSV cell: quoted when it must be, quotes doubled, control characters escaped, and a
    // leading =, +, - or @ kept from being read as a formula.
    static String CsvCell(const String& text);

private:
    std::ostream& out_;
    std::ostream& err_;
};

} // namespace fk
