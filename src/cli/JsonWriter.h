#pragma once
// Builds one JSON document for the tool's --json output: objects, arrays, strings, numbers,
// booleans and null. Strings are escaped so that the document is valid UTF-8 whatever they
// hold: control characters (C0, DEL, C1) become \u escapes, bytes that are not UTF-8 become
// U+FFFD. Texts in an 8-bit code page are decoded before they get here (TDeviceText).
#include <cstdint>
#include <string>
#include <vector>

namespace fk {

class TJsonWriter {
public:
    TJsonWriter& BeginObject();
    TJsonWriter& EndObject();
    TJsonWriter& BeginArray();
    TJsonWriter& EndArray();
    // The name of the next member inside an object.
    TJsonWriter& Key(const std::string& name);

    TJsonWriter& String(const std::string& value);
    TJsonWriter& Number(std::int64_t value);
    TJsonWriter& Number(double value);
    TJsonWriter& Bool(bool value);
    TJsonWriter& Null();

    // Key + value in one call.
    template <class T>
    TJsonWriter& Member(const std::string& name, const T& value)
    {
        Key(name);
        return Value(value);
    }

    const std::string& Text() const noexcept { return out_; }

    static std::string Escape(const std::string& text);

private:
    TJsonWriter& Value(const std::string& v) { return String(v); }
    TJsonWriter& Value(const char* v) { return String(v); }
    TJsonWriter& Value(bool v) { return Bool(v); }
    TJsonWriter& Value(double v) { return Number(v); }
    template <class I>
    TJsonWriter& Value(const I& v)
        requires std::is_integral_v<I>
    {
        return Number(static_cast<std::int64_t>(v));
    }
    void BeforeValue();

    std::string out_;
    std::vector<bool> first_; // per open container: no member written yet
    bool afterKey_ = false;
};

} // namespace fk
