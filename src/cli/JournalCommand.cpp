#include "cli/JournalCommand.h"

#include "cli/DeviceText.h"
#include "cli/Tool.h"
#include "session/ServiceJournal.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

#include <cctype>

namespace fk {

String TJournalCommand::SinceKey(const String& text)
{
    // YYYY-MM-DD, then optionally T or a space and HH:MM or HH:MM:SS.
    static const char* const shapes[] = {"dddd-dd-dd", "dddd-dd-ddTdd:dd", "dddd-dd-ddTdd:dd:dd"};
    String key = text;
    if (key.size() > 10 && key[10] == ' ')
        key[10] = 'T';
    for (const char* shape : shapes) {
        const String s = shape;
        if (s.size() != key.size())
            continue;
        bool ok = true;
        for (std::size_t i = 0; ok && i < s.size(); ++i)
            ok = s[i] == 'd' ? std::isdigit(static_cast<unsigned char>(key[i])) != 0 : key[i] == s[i];
        if (ok)
            return key;
    }
    return {};
}

String TJournalCommand::CsvCell(const String& text)
{
    return TServiceJournal::CsvCell(TDeviceText::Escaped(text));
}

int TJournalCommand::Run(const std::vector<std::string>& args, const std::vector<TOptionSpec>& options)
{
    const std::string prefix = "ferrovan journal: ";
    TCommandLine cl;
    if (!cl.Parse(args, options)) {
        err_ << prefix << cl.Error() << "\n";
        return exitUsage;
    }
    if (!cl.Positional().empty()) {
        err_ << prefix << "takes no arguments\n";
        return exitUsage;
    }
    if (cl.Has("json") && cl.Has("csv")) {
        err_ << prefix << "give --json or --csv, not both\n";
        return exitUsage;
    }
    String since;
    if (cl.Has("since") && (since = SinceKey(*cl.Value("since"))).empty()) {
        err_ << prefix << "--since takes a date, YYYY-MM-DD or YYYY-MM-DDTHH:MM (UTC), not \""
             << TDeviceText::Escaped(*cl.Value("since")) << "\"\n";
        return exitUsage;
    }
    const std::optional<String> device = cl.Value("device");
    const String path = TServiceJournal::DefaultPath();
    std::size_t skipped = 0;
    const std::vector<TJournalEntry> entries = TServiceJournal::Read(path, &skipped);
    if (skipped > 0)
        err_ << prefix << "warning: " << skipped << " line(s) of " << TDeviceText::Escaped(path)
             << " hold no record and were skipped\n";
    if (cl.Has("csv"))
        out_ << TServiceJournal::CsvHeader;
    std::size_t shown = 0;
    for (const TJournalEntry& e : entries) {
        if ((device && e.Device != *device) || (!since.empty() && e.Time.compare(0, since.size(), since) < 0))
            continue;
        ++shown;
        if (cl.Has("json")) {
            // As stored when it is valid UTF-8 (the reader has taken it as JSON, which holds no raw
            // control characters); otherwise written again from what was read.
            const QByteArray line = QByteArray::fromStdString(e.Line);
            if (QString::fromUtf8(line).toUtf8() == line)
                out_ << e.Line << "\n";
            else
                out_ << QJsonDocument::fromJson(line).toJson(QJsonDocument::Compact).toStdString() << "\n";
        } else if (cl.Has("csv")) {
            out_ << CsvCell(e.Time) << ',' << CsvCell(e.Program) << ',' << CsvCell(e.Port) << ',' << CsvCell(e.User)
                 << ',' << CsvCell(e.Device) << ',' << CsvCell(e.Event) << ',' << CsvCell(e.Description) << "\r\n";
        } else {
            String time = e.Time.substr(0, 19);
            if (time.size() > 10)
                time[10] = ' ';
            out_ << TDeviceText::Escaped(time) << "  " << TDeviceText::Escaped(e.Program) << "  "
                 << TDeviceText::Escaped(e.Port) << "  " << TDeviceText::Escaped(e.User) << "  "
                 << TDeviceText::Escaped(e.Device.empty() ? String("-") : e.Device) << "  "
                 << TDeviceText::Escaped(e.Description) << "\n";
        }
    }
    if (shown == 0 && !cl.Has("json") && !cl.Has("csv"))
        out_ << "No records" << (device || !since.empty() ? " match." : " in " + TDeviceText::Escaped(path) + ".")
             << "\n";
    return exitOk;
}

} // namespace fk
