#pragma once
// Reads a diagnostic trace file back for the tests, through the program's own reader
// (support/TraceFileReader): every line one JSON object that starts with "time" (seconds, three
// decimals, never going back) and "event". Tests ask for the lines of one event, the texts of
// status lines in order, the state changes, and whether a string occurs anywhere in the file.
// An empty file reads as a trace without lines.
#include "support/TraceFileReader.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

namespace fk::test {

class TTraceReader {
public:
    explicit TTraceReader(const QString& path) { Read(path.toStdString()); }
    explicit TTraceReader(const std::string& path) { Read(path); }

    // Every line was a well-formed trace line; else Error() names the first one that was not.
    bool Valid() const noexcept { return error_.empty(); }
    const std::string& Error() const noexcept { return error_; }

    const std::vector<QJsonObject>& Lines() const noexcept { return lines_; }
    const QByteArray& Raw() const noexcept { return reader_.Raw(); }
    bool Contains(const QByteArray& bytes) const { return Raw().contains(bytes); }

    // The lines of one event, in order.
    std::vector<QJsonObject> Events(const QString& event) const
    {
        std::vector<QJsonObject> out;
        for (const QJsonObject& o : lines_)
            if (o.value(QStringLiteral("event")).toString() == event)
                out.push_back(o);
        return out;
    }
    // One field of every line of an event, as text, in order.
    QStringList Field(const QString& event, const QString& field) const
    {
        QStringList out;
        for (const QJsonObject& o : Events(event))
            out << o.value(field).toVariant().toString();
        return out;
    }
    // The status texts in order.
    QStringList Statuses() const { return Field(QStringLiteral("status"), QStringLiteral("text")); }
    // The state changes as "device/upload", in order.
    QStringList States() const
    {
        QStringList out;
        for (const QJsonObject& o : Events(QStringLiteral("state")))
            out << o.value(QStringLiteral("device")).toString() + QLatin1Char('/')
                    + o.value(QStringLiteral("upload")).toString();
        return out;
    }

private:
    void Read(const std::string& path)
    {
        const bool ok = reader_.Read(path);
        if (!ok && !(reader_.ErrorLine() == 1 && reader_.Raw().isEmpty()))
            error_ = reader_.Error();
        for (const fk::TTraceFileReader::TLine& l : reader_.Lines())
            lines_.push_back(l.Fields);
    }

    fk::TTraceFileReader reader_;
    std::vector<QJsonObject> lines_;
    std::string error_;
};

} // namespace fk::test
