#include "session/ServiceJournal.h"

#include "connection/KestConnection.h"
#include "session/DeviceSession.h"
#include "support/TraceSink.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <pwd.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

namespace fk {

namespace {

constexpr int BreakTimeSeconds = TParameterWrites::BreakTimeSeconds;

String UtcNow()
{
    timeval tv {};
    ::gettimeofday(&tv, nullptr);
    std::tm tm {};
    const std::time_t seconds = tv.tv_sec;
    ::gmtime_r(&seconds, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(tv.tv_usec / 1000));
    return text;
}

String UserName()
{
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name)
        return pw->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : "";
}


const char* EventName(TSessionRecordKind kind)
{
    switch (kind) {
    case srIdentified: return "identified";
    case srParameter: return "parameter";
    case srVenting: return "venting";
    case srRestart: return "restart";
    case srUploadEnded: return "upload";
    case srSettingsApplied: return "settings-applied";
    }
    return "";
}

String Text(const QJsonObject& o, const char* name) { return o.value(QLatin1String(name)).toString().toStdString(); }
int Int(const QJsonObject& o, const char* name) { return o.value(QLatin1String(name)).toInt(); }

} // namespace

TServiceJournal::TServiceJournal(String program, String path, unsigned codePage)
    : program_(std::move(program))
    , file_(std::move(path))
    , codePage_(codePage)
    , user_(UserName())
{
}

TServiceJournal::~TServiceJournal() = default;

String TServiceJournal::DefaultPath()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    String folder;
    if (data && *data == '/') {
        folder = data;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home)
            if (const passwd* pw = ::getpwuid(::getuid()))
                home = pw->pw_dir;
        folder = String(home ? home : "") + "/.local/share";
    }
    return folder + "/ferrovan-kest/journal.jsonl";
}

void TServiceJournal::Attach(TDeviceSession& session)
{
    session_ = &session;
    session.OnRecord = TSessionRecordEvent(this, &TServiceJournal::OnRecord);
}

void TServiceJournal::Detach()
{
    if (session_)
        session_->OnRecord = nullptr;
    session_ = nullptr;
}

void TServiceJournal::OnRecord(TObject* sender, const TSessionRecord& record)
{
    if (auto* session = dynamic_cast<TDeviceSession*>(sender))
        Write(*session, record);
}

String TServiceJournal::ChangeText(unsigned offset, int from, int to)
{
    if (offset == 0)
        return "open time " + std::to_string(from) + " ms -> " + std::to_string(to) + " ms";
    if (offset == 1)
        return "break time " + std::to_string(from * BreakTimeSeconds) + " s -> " + std::to_string(to * BreakTimeSeconds)
            + " s";
    return "parameter " + std::to_string(offset) + " " + std::to_string(from) + " -> " + std::to_string(to);
}

bool TServiceJournal::Write(const TDeviceSession& session, const TSessionRecord& record)
{
    const TDeviceInfo& d = session.DeviceInfo();
    const TFirmwareInfo& f = session.FirmwareInfo();
    std::string line = "{\"time\":\"" + UtcNow() + "\"";
    TTraceSink::AppendNumber(line, "v", FormatVersion);
    TTraceSink::AppendMember(line, "event", EventName(record.Kind));
    TTraceSink::AppendMember(line, "program", program_);
    TTraceSink::AppendMember(line, "port", session.Serial()->CurrentPortName());
    TTraceSink::AppendMember(line, "user", user_);
    TTraceSink::AppendMember(line, "device", codePage_.Decode(d.SerialNumber()));
    TTraceSink::AppendMember(line, "identifier", IdentifierText(d.Identifier()));
    switch (record.Kind) {
    case srIdentified: {
        lastFirmware_ = f.VersionText();
        TTraceSink::AppendNumber(line, "model", d.Model());
        TTraceSink::AppendMember(line, "firmware_version", lastFirmware_);
        TTraceSink::AppendMember(line, "build_date", f.BuildDateText());
        TTraceSink::AppendMember(line, "info", codePage_.Decode(f.InfoText()));
        TTraceSink::AppendNumber(line, "open_time", session.Parameters().OpenTime());
        TTraceSink::AppendNumber(line, "break_time", session.Parameters().BreakTime());
        TTraceSink::AppendNumber(line, "break_time_seconds", session.Parameters().BreakTime() * BreakTimeSeconds);
        break;
    }
    case srParameter:
        TTraceSink::AppendMember(line, "parameter", record.Offset == 0 ? "open_time" : record.Offset == 1 ? "break_time" : "other");
        TTraceSink::AppendNumber(line, "offset", record.Offset);
        TTraceSink::AppendNumber(line, "old", record.Old);
        TTraceSink::AppendNumber(line, "new", record.New);
        TTraceSink::AppendMember(line, "unit", record.Offset == 0 ? "ms" : record.Offset == 1 ? "10 s" : "");
        TTraceSink::AppendMember(line, "change", ChangeText(record.Offset, record.Old, record.New));
        break;
    case srVenting:
    case srRestart:
        break;
    case srUploadEnded: {
        TTraceSink::AppendMember(line, "result", record.Result);
        TTraceSink::AppendMember(line, "image_identifier", IdentifierText(record.ImageIdentifier));
        TTraceSink::AppendMember(line, "image_digest", record.ImageDigest);
        if (lastFirmware_.empty())
            line += ",\"firmware_before\":null";
        else
            TTraceSink::AppendMember(line, "firmware_before", lastFirmware_);
        // After a success the session has just read the new firmware's description.
        if (record.FirmwareRead)
            TTraceSink::AppendMember(line, "firmware_after", f.VersionText());
        else
            line += ",\"firmware_after\":null";
        TTraceSink::AppendMember(line, "message", record.Text);
        break;
    }
    case srSettingsApplied:
        TTraceSink::AppendMember(line, "file", record.File);
        TTraceSink::AppendMember(line, "result", record.Result);
        TTraceSink::AppendMember(line, "changes", record.Changes);
        TTraceSink::AppendMember(line, "message", record.Text);
        break;
    }
    line += "}";
    return file_.Append(line);
}

String TServiceJournal::Describe(const String& line)
{
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
    const String event = Text(o, "event");
    if (event == "identified")
        return "connected: " + Text(o, "identifier") + " (model " + std::to_string(Int(o, "model")) + "), firmware "
            + Text(o, "firmware_version") + " (" + Text(o, "build_date") + "), open time "
            + std::to_string(Int(o, "open_time")) + " ms, break time " + std::to_string(Int(o, "break_time_seconds"))
            + " s";
    if (event == "parameter")
        return ChangeText(static_cast<unsigned>(Int(o, "offset")), Int(o, "old"), Int(o, "new"));
    if (event == "venting")
        return "venting toggled";
    if (event == "restart")
        return "restarted";
    if (event == "upload") {
        const auto version = [&](const char* name) {
            const String v = Text(o, name);
            return v.empty() ? String("?") : v;
        };
        String text = "firmware upload " + Text(o, "result") + ": image " + Text(o, "image_identifier") + " (MD5 "
            + Text(o, "image_digest") + "), firmware " + version("firmware_before") + " -> " + version("firmware_after");
        if (const String message = Text(o, "message"); !message.empty())
            text += " (" + message + ")";
        return text;
    }
    if (event == "settings-applied") {
        String text = "settings file " + Text(o, "file") + " applied: " + Text(o, "result");
        if (const String changes = Text(o, "changes"); !changes.empty())
            text += " (" + changes + ")";
        if (const String message = Text(o, "message"); !message.empty())
            text += ": " + message;
        return text;
    }
    return event;
}

String TServiceJournal::CsvCell(const String& escaped)
{
    String cell = escaped;
    if (!cell.empty() && (cell[0] == '=' || cell[0] == '+' || cell[0] == '-' || cell[0] == '@'))
        cell.insert(0, 1, '\'');
    if (cell.find_first_of(",\"'\r\n") == String::npos)
        return cell;
    String quoted = "\"";
    for (char c : cell) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

std::vector<TJournalEntry> TServiceJournal::Read(const String& path, std::size_t* skipped)
{
    std::vector<TJournalEntry> entries;
    std::size_t bad = 0;
    for (const String& part : TJournalFile::Parts(path)) {
        std::ifstream in(part, std::ios::binary);
        String line;
        while (std::getline(in, line)) {
            if (line.empty())
                continue;
            QJsonParseError error {};
            const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
            if (error.error != QJsonParseError::NoError || !doc.isObject()
                || !doc.object().value(QLatin1String("event")).isString()) {
                ++bad;
                continue;
            }
            const QJsonObject o = doc.object();
            TJournalEntry e;
            e.Time = Text(o, "time");
            e.Program = Text(o, "program");
            e.Event = Text(o, "event");
            e.Port = Text(o, "port");
            e.User = Text(o, "user");
            e.Device = Text(o, "device");
            e.Description = Describe(line);
            e.Line = line;
            entries.push_back(std::move(e));
        }
    }
    if (skipped)
        *skipped = bad;
    return entries;
}

} // namespace fk
