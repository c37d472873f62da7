#include "cli/JsonWriter.h"

#include "support/AnsiCodePage.h"

#include <cmath>
#include <cstdio>

namespace fk {

std::string TJsonWriter::Escape(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        std::size_t count = 1;
        if (!TAnsiCodePage::NextCodePoint(text, pos, cp, count)) {
            out += "\\ufffd"; // not UTF-8: the replacement character keeps the document valid
            pos += count;
            continue;
        }
        switch (cp) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
                // Control characters (C0, DEL, C1) are escaped, never passed on.
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(cp));
                out += buf;
            } else {
                out.append(text, pos, count);
            }
        }
        pos += count;
    }
    out += '"';
    return out;
}

void TJsonWriter::BeforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back())
            out_ += ',';
        first_.back() = false;
    }
}

TJsonWriter& TJsonWriter::BeginObject()
{
    BeforeValue();
    out_ += '{';
    first_.push_back(true);
    return *this;
}

TJsonWriter& TJsonWriter::EndObject()
{
    out_ += '}';
    if (!first_.empty())
        first_.pop_back();
    return *this;
}

TJsonWriter& TJsonWriter::BeginArray()
{
    BeforeValue();
    out_ += '[';
    first_.push_back(true);
    return *this;
}

TJsonWriter& TJsonWriter::EndArray()
{
    out_ += ']';
    if (!first_.empty())
        first_.pop_back();
    return *this;
}

TJsonWriter& TJsonWriter::Key(const std::string& name)
{
    BeforeValue();
    out_ += Escape(name);
    out_ += ':';
    afterKey_ = true;
    return *this;
}

TJsonWriter& TJsonWriter::String(const std::string& value)
{
    BeforeValue();
    out_ += Escape(value);
    return *this;
}

TJsonWriter& TJsonWriter::Number(std::int64_t value)
{
    BeforeValue();
    out_ += std::to_string(value);
    return *this;
}

TJsonWriter& TJsonWriter::Number(double value)
{
    BeforeValue();
    if (!std::isfinite(value)) {
        out_ += "null"; // JSON has no infinities
        return *this;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", value);
    out_ += buf;
    return *this;
}

TJsonWriter& TJsonWriter::Bool(bool value)
{
    BeforeValue();
    out_ += value ? "true" : "false";
    return *this;
}

TJsonWriter& TJsonWriter::Null()
{
    BeforeValue();
    out_ += "null";
    return *this;
}

} // namespace fk
