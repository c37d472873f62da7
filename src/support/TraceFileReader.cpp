#include "support/TraceFileReader.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

#include <cstring>

namespace fk {

namespace {

// The head every trace line starts with: {"time":D+.DDD,"event":"
bool HasTraceHead(const QByteArray& line)
{
    static constexpr char Time[] = "{\"time\":";
    static constexpr char Event[] = ",\"event\":\"";
    if (!line.startsWith(Time))
        return false;
    qsizetype i = qsizetype(std::strlen(Time));
    const qsizetype digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9')
        ++i;
    if (i == digits || i >= line.size() || line[i] != '.')
        return false;
    ++i;
    for (int d = 0; d < 3; ++d, ++i)
        if (i >= line.size() || line[i] < '0' || line[i] > '9')
            return false;
    return line.mid(i, qsizetype(std::strlen(Event))) == Event;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void TTraceFileReader::Fail(int number, const std::string& why)
{
    if (!error_.empty())
        return;
    errorLine_ = number;
    error_ = (number > 0 ? "line " + std::to_string(number) + ": " : std::string()) + why;
}

bool TTraceFileReader::Read(const std::string& path)
{
    raw_.clear();
    lines_.clear();
    error_.clear();
    errorLine_ = 0;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        Fail(0, "cannot read " + path + ": " + file.errorString().toStdString());
        return false;
    }
    return Parse(file.readAll());
}

bool TTraceFileReader::Parse(const QByteArray& bytes)
{
    raw_ = bytes;
    lines_.clear();
    error_.clear();
    errorLine_ = 0;
    if (raw_.isEmpty()) {
        Fail(1, "the file is empty: no trace line");
        return false;
    }
    double last = 0;
    int number = 0;
    qsizetype at = 0;
    while (at < raw_.size()) {
        ++number;
        qsizetype end = raw_.indexOf('\n', at);
        const bool complete = end >= 0;
        if (!complete)
            end = raw_.size();
        const QByteArray line = raw_.mid(at, end - at);
        at = end + 1;
        if (line.isEmpty())
            continue;
        QJsonParseError parse{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &parse);
        if (parse.error != QJsonParseError::NoError) {
            Fail(number, complete ? "not valid JSON (" + parse.errorString().toStdString() + " at column "
                                        + std::to_string(parse.offset + 1) + ")"
                                  : "cut short: the file ends inside the line");
            continue;
        }
        if (!doc.isObject() || !HasTraceHead(line)) {
            Fail(number, "not a trace line (a diagnostic trace holds JSON objects that start with \"time\" and "
                         "\"event\")");
            continue;
        }
        if (!complete) {
            Fail(number, "cut short: the line has no end");
            continue;
        }
        TLine l;
        l.Number = number;
        l.Fields = doc.object();
        l.Time = l.Fields.value(QStringLiteral("time")).toDouble();
        l.Event = l.Fields.value(QStringLiteral("event")).toString().toStdString();
        if (l.Time < last) {
            Fail(number, "its time goes back");
            continue;
        }
        last = l.Time;
        lines_.push_back(std::move(l));
    }
    return Valid();
}

bool TTraceFileReader::HexBytes(const QJsonObject& line, TByteString& out)
{
    const QByteArray hex = line.value(QStringLiteral("hex")).toString().toLatin1();
    out.clear();
    if (hex.size() % 2 != 0)
        return false;
    out.reserve(std::size_t(hex.size() / 2));
    for (qsizetype i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out.push_back(static_cast<u8>(high << 4 | low));
    }
    return true;
}

} // namespace fk
