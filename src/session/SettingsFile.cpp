#include "session/SettingsFile.h"

#include "session/DeviceSession.h"
#include "session/ServiceJournal.h"
#include "support/AnsiCodePage.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSaveFile>

#include <cstdio>
#include <ctime>

namespace fk {

namespace {

constexpr int StepSeconds = TParameterWrites::BreakTimeSeconds;
constexpr qint64 MaxFileSize = 1 << 20; // a settings file is a few hundred bytes

QString Q(const String& s) { return QString::fromStdString(s); }

String UtcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm {};
    ::gmtime_r(&now, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

// A whole number of a JSON object's member, within [min, max].
bool WholeNumber(const QJsonObject& o, const char* name, int min, int max, int& out)
{
    const QJsonValue v = o.value(QLatin1String(name));
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (d != static_cast<double>(static_cast<long long>(d)) || d < min || d > max)
        return false;
    out = static_cast<int>(d);
    return true;
}

} // namespace

TSettingsFile TSettingsFile::FromSession(const TDeviceSession& session, const TAnsiCodePage& codePage)
{
    const TDeviceInfo& d = session.DeviceInfo();
    const TFirmwareInfo& f = session.FirmwareInfo();
    TSettingsFile s;
    s.Saved = UtcNow();
    s.Identifier = d.Identifier();
    s.Model = d.Model();
    s.SerialNumber = codePage.Decode(d.SerialNumber());
    s.FirmwareVersion = f.VersionText();
    s.BuildDate = f.BuildDateText();
    s.OpenTime = session.Parameters().OpenTime();
    s.BreakTime = session.Parameters().BreakTime();
    return s;
}

String TSettingsFile::ToJson() const
{
    QJsonObject device;
    device.insert(QStringLiteral("identifier"), Q(IdentifierText(Identifier)));
    device.insert(QStringLiteral("model"), Model);
    device.insert(QStringLiteral("serial_number"), Q(SerialNumber));
    device.insert(QStringLiteral("firmware_version"), Q(FirmwareVersion));
    device.insert(QStringLiteral("build_date"), Q(BuildDate));
    QJsonObject open;
    open.insert(QStringLiteral("value"), OpenTime);
    open.insert(QStringLiteral("unit"), QStringLiteral("ms"));
    QJsonObject brk;
    brk.insert(QStringLiteral("value"), BreakTime * StepSeconds);
    brk.insert(QStringLiteral("unit"), QStringLiteral("s"));
    brk.insert(QStringLiteral("steps"), BreakTime);
    brk.insert(QStringLiteral("step_seconds"), StepSeconds);
    QJsonObject parameters;
    parameters.insert(QStringLiteral("open_time"), open);
    parameters.insert(QStringLiteral("break_time"), brk);
    QJsonObject root;
    root.insert(QStringLiteral("format"), QLatin1String(FormatName));
    root.insert(QStringLiteral("version"), FormatVersion);
    root.insert(QStringLiteral("saved"), Q(Saved));
    root.insert(QStringLiteral("device"), device);
    root.insert(QStringLiteral("parameters"), parameters);
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

bool TSettingsFile::Save(const String& path, String& error) const
{
    QSaveFile file(Q(path));
    const QByteArray text = QByteArray::fromStdString(ToJson());
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        error = "cannot be written: " + file.errorString().toStdString();
        return false;
    }
    return true;
}

bool TSettingsFile::Load(const String& path, TSettingsFile& out, String& error)
{
    QFile file(Q(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = "cannot be read: " + file.errorString().toStdString();
        return false;
    }
    if (file.size() > MaxFileSize) {
        error = "is not a settings file of this program (too large)";
        return false;
    }
    return Parse(file.readAll().toStdString(), out, error);
}

bool TSettingsFile::Parse(const String& text, TSettingsFile& out, String& error)
{
    QJsonParseError parse {};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
        error = "is damaged: not JSON (" + parse.errorString().toStdString() + " at byte "
            + std::to_string(parse.offset) + ")";
        return false;
    }
    const QJsonObject root = doc.object();
    if (root.value(QLatin1String("format")).toString() != QLatin1String(FormatName)) {
        error = "is not a settings file of this program (its \"format\" is not \"" + String(FormatName) + "\")";
        return false;
    }
    int version = 0;
    if (!WholeNumber(root, "version", 1, 1 << 30, version)) {
        error = "is damaged: its \"version\" is missing or not a number";
        return false;
    }
    if (version > FormatVersion) {
        error = "has format version " + std::to_string(version) + ", newer than this program reads ("
            + std::to_string(FormatVersion) + ")";
        return false;
    }
    const QJsonObject device = root.value(QLatin1String("device")).toObject();
    const QJsonObject parameters = root.value(QLatin1String("parameters")).toObject();
    const QJsonObject open = parameters.value(QLatin1String("open_time")).toObject();
    const QJsonObject brk = parameters.value(QLatin1String("break_time")).toObject();
    TSettingsFile s;
    const QString id = device.value(QLatin1String("identifier")).toString();
    bool idOk = id.startsWith(QLatin1String("0x"));
    s.Identifier = idOk ? id.mid(2).toUInt(&idOk, 16) : 0;
    if (!idOk || !WholeNumber(device, "model", 0, 255, s.Model)) {
        error = "is damaged: the device's \"identifier\" or \"model\" is missing or wrong";
        return false;
    }
    if (!WholeNumber(open, "value", 0, 255, s.OpenTime) || open.value(QLatin1String("unit")).toString() != QLatin1String("ms")) {
        error = "is damaged: \"open_time\" needs a whole \"value\" in \"ms\"";
        return false;
    }
    int seconds = 0;
    if (!WholeNumber(brk, "steps", 0, 255, s.BreakTime)
        || (brk.contains(QLatin1String("value")) && (!WholeNumber(brk, "value", 0, 255 * StepSeconds, seconds)
                                                     || seconds != s.BreakTime * StepSeconds))) {
        error = "is damaged: \"break_time\" needs whole \"steps\" (of 10 s) that agree with its \"value\" in s";
        return false;
    }
    s.Saved = root.value(QLatin1String("saved")).toString().toStdString();
    s.SerialNumber = device.value(QLatin1String("serial_number")).toString().toStdString();
    s.FirmwareVersion = device.value(QLatin1String("firmware_version")).toString().toStdString();
    s.BuildDate = device.value(QLatin1String("build_date")).toString().toStdString();
    out = s;
    return true;
}

TSettingsFile::TRefusal TSettingsFile::Refusal(const TDeviceSession& session) const
{
    TRefusal r;
    const TDeviceInfo& d = session.DeviceInfo();
    if (Identifier != d.Identifier() || Model != d.Model()) {
        r.Kind = TRefusal::srModel;
        r.FileModel = Model;
        r.DeviceModel = d.Model();
        r.FileIdentifier = Identifier;
        r.DeviceIdentifier = d.Identifier();
        return r;
    }
    const auto& open = session.Knobs().Knob(skOpenTime);
    if (OpenTime < open.Min || OpenTime > open.Max) {
        r.Kind = TRefusal::srOpenTime;
        r.Value = OpenTime;
        r.Min = open.Min;
        r.Max = open.Max;
        return r;
    }
    const auto& brk = session.Knobs().Knob(skBreakTime);
    if (BreakTime < brk.Min || BreakTime > brk.Max) {
        const TFirmwareInfo& f = session.FirmwareInfo();
        r.Kind = TRefusal::srBreakTime;
        r.Value = BreakTime * StepSeconds;
        r.Min = brk.Min * StepSeconds;
        r.Max = brk.Max * StepSeconds;
        r.Firmware = f.VersionText();
    }
    return r;
}

String TSettingsFile::Check(const TDeviceSession& session) const
{
    const TRefusal r = Refusal(session);
    switch (r.Kind) {
    case TRefusal::srModel:
        return "the file was saved from a model " + std::to_string(r.FileModel) + " controller ("
            + IdentifierText(r.FileIdentifier) + "); this controller is model " + std::to_string(r.DeviceModel) + " ("
            + IdentifierText(r.DeviceIdentifier) + ")";
    case TRefusal::srOpenTime:
        return "open time " + std::to_string(r.Value) + " ms is outside this controller's range "
            + std::to_string(r.Min) + ".." + std::to_string(r.Max) + " ms";
    case TRefusal::srBreakTime:
        return "break time " + std::to_string(r.Value) + " s is outside this controller's range "
            + std::to_string(r.Min) + ".." + std::to_string(r.Max) + " s (firmware " + r.Firmware + ")";
    case TRefusal::srNone: break;
    }
    return {};
}

std::vector<TSettingsDifference> TSettingsFile::Differences(const TDeviceSession& session) const
{
    std::vector<TSettingsDifference> changes;
    const TDeviceParameters& p = session.Parameters();
    if (p.OpenTime() != OpenTime)
        changes.push_back({0, p.OpenTime(), OpenTime});
    if (p.BreakTime() != BreakTime)
        changes.push_back({1, p.BreakTime(), BreakTime});
    return changes;
}

String TSettingsFile::DifferencesText(const std::vector<TSettingsDifference>& changes, const char* separator)
{
    String text;
    for (const TSettingsDifference& c : changes) {
        if (!text.empty())
            text += separator;
        text += TServiceJournal::ChangeText(c.Offset, c.From, c.To);
    }
    return text;
}

} // namespace fk
