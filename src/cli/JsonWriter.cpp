#include "cli/JsonWriter.h"

#include <cmath>
#include <cstdio>

namespace fk {

std::string TJsonWriter::Escape(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
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
