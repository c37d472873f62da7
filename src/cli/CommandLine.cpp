#include "cli/CommandLine.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace fk {

bool TCommandLine::Parse(const std::vector<std::string>& args, const std::vector<TOptionSpec>& options)
{
    positional_.clear();
    values_.clear();
    repeated_.clear();
    error_.clear();
    help_ = false;
    // The first usage error is kept, but the scan goes on: help asked for later still wins.
    auto fail = [this](std::string text) {
        if (error_.empty())
            error_ = std::move(text);
    };
    bool onlyPositional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!onlyPositional && (a == "--help" || a == "-h")) {
            help_ = true;
            continue;
        }
        if (onlyPositional || a.size() < 3 || a.compare(0, 2, "--") != 0) {
            if (a == "--") {
                onlyPositional = true;
                continue;
            }
            positional_.push_back(a);
            continue;
        }
        std::string name = a.substr(2);
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        const TOptionSpec* spec = nullptr;
        for (const auto& o : options)
            if (o.name == name)
                spec = &o;
        if (!spec) {
            fail("unknown option --" + name);
            continue;
        }
        if (!spec->takesValue) {
            if (inlineValue) {
                fail("option --" + name + " takes no value");
                continue;
            }
            values_[name] = "";
            continue;
        }
        if (inlineValue || i + 1 < args.size()) {
            values_[name] = inlineValue ? *inlineValue : args[++i];
            repeated_[name].push_back(values_[name]);
        } else {
            fail("option --" + name + " needs a value");
        }
    }
    if (help_)
        error_.clear();
    return error_.empty();
}

std::optional<std::string> TCommandLine::Value(const std::string& name) const
{
    const auto it = values_.find(name);
    if (it == values_.end())
        return std::nullopt;
    return it->second;
}

std::vector<std::string> TCommandLine::Values(const std::string& name) const
{
    const auto it = repeated_.find(name);
    return it == repeated_.end() ? std::vector<std::string>{} : it->second;
}

bool TCommandLine::Integer(const std::string& name, long long min, long long max, long long& out)
{
    const auto v = Value(name);
    if (!v)
        return false;
    const std::string& s = *v;
    bool ok = !s.empty();
    for (std::size_t i = 0; ok && i < s.size(); ++i)
        ok = (s[i] >= '0' && s[i] <= '9') || (i == 0 && s[i] == '-' && s.size() > 1);
    long long n = 0;
    if (ok) {
        errno = 0;
        n = std::strtoll(s.c_str(), nullptr, 10);
        ok = errno == 0;
    }
    if (!ok || n < min || n > max) {
        error_ = "--" + name + " must be a whole number from " + std::to_string(min) + " to " + std::to_string(max)
            + " (got \"" + s + "\")";
        return false;
    }
    out = n;
    return true;
}

bool TCommandLine::Seconds(const std::string& name, double max, double& out)
{
    const auto v = Value(name);
    if (!v)
        return false;
    char* end = nullptr;
    errno = 0;
    const double d = std::strtod(v->c_str(), &end);
    if (v->empty() || *end != '\0' || errno != 0 || !std::isfinite(d) || d <= 0 || d > max) {
        error_ = "--" + name + " must be a number of seconds above 0 and at most " + std::to_string(int(max))
            + " (got \"" + *v + "\")";
        return false;
    }
    out = d;
    return true;
}

} // namespace fk
