#pragma once
// Reads a diagnostic trace file back for the tests: every line one JSON object that starts
// with "time" (seconds, three decimals, never going back) and "event". Tests ask for the
// lines of one event, the texts of status lines in order, the state changes, and whether a
// string occurs anywhere in the file.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <vector>

namespace fk::test {

class TTraceReader {
public:
    explicit TTraceReader(const QString& path) { Read(path); }
    explicit TTraceReader(const std::string& path) { Read(QString::fromStdString(path)); }

    // Every line was a well-formed trace line; else Error() names the first one that was not.
    bool Valid() const noexcept { return error_.isEmpty(); }
    const std::string& Error() const noexcept { return error_stdstring_; }

    const std::vector<QJsonObject>& Lines() const noexcept { return lines_; }
    const QByteArray& Raw() const noexcept { return raw_; }
    bool Contains(const QByteArray& bytes) const { return raw_.contains(bytes); }

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
    void Read(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            SetError(QStringLiteral("cannot read ") + path);
            return;
        }
        raw_ = file.readAll();
        static const QRegularExpression head(QStringLiteral(R"(^\{"time":\d+\.\d{3},"event":")"));
        double last = 0;
        int number = 0;
        for (const QByteArray& line : raw_.split('\n')) {
            ++number;
            if (line.isEmpty())
                continue;
            QJsonParseError parse{};
            const QJsonDocument doc = QJsonDocument::fromJson(line, &parse);
            const double time = doc.object().value(QStringLiteral("time")).toDouble(-1);
            if (parse.error != QJsonParseError::NoError || !doc.isObject()
                || !head.match(QString::fromUtf8(line)).hasMatch() || time < last) {
                if (error_.isEmpty())
                    SetError(QStringLiteral("line %1: %2").arg(number).arg(QString::fromUtf8(line)));
                continue;
            }
            last = time;
            lines_.push_back(doc.object());
        }
        if (!raw_.isEmpty() && !raw_.endsWith('\n') && error_.isEmpty())
            SetError(QStringLiteral("the last line is not complete"));
    }
    void SetError(const QString& e)
    {
        error_ = e;
        error_stdstring_ = e.toStdString();
    }

    QByteArray raw_;
    std::vector<QJsonObject> lines_;
    QString error_;
    std::string error_stdstring_;
};

} // namespace fk::test
