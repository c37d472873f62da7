#pragma once
// TTraceFileReader: reads a diagnostic trace file (TTraceSink's JSON lines) back. Each line
// must be one JSON object that starts with "time" (seconds, three decimals, never going
// back) and "event", and end with a line feed. The first line that is not such a line is kept as the
// error with its number; the lines after it are still read, so a reader that only looks can
// go on, while one that acts on the trace refuses it.
//
// Used by the simulator's replay and by the tests that look at what a program traced.
#include "platform/Types.h"

#include <QByteArray>
#include <QJsonObject>

#include <string>
#include <vector>

namespace fk {

class TTraceFileReader {
public:
    struct TLine {
        int Number = 0;     // 1 for the file's first line
        double Time = 0;
        std::string Event;
        QJsonObject Fields; // the whole object, "time" and "event" included
    };

    // Reads the file; false when it cannot be read or holds a line that is not a trace line
    // (Error() says which and why, ErrorLine() its number; 0 when the file could not be read).
    bool Read(const std::string& path);
    // The same on bytes already read.
    bool Parse(const QByteArray& bytes);

    bool Valid() const noexcept { return error_.empty(); }
    const std::string& Error() const noexcept { return error_; }
    int ErrorLine() const noexcept { return errorLine_; }

    const std::vector<TLine>& Lines() const noexcept { return lines_; }
    const QByteArray& Raw() const noexcept { return raw_; }

    // The bytes of a "hex" field ("55050108..."); false when it holds anything but pairs of
    // hexadecimal digits.
    static bool HexBytes(const QJsonObject& line, TByteString& out);

private:
    void Fail(int number, const std::string& why);

    QByteArray raw_;
    std::vector<TLine> lines_;
    std::string error_;
    int errorLine_ = 0;
};

} // namespace fk
