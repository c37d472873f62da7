#pragma once
// The tool's command line: a command word, positional arguments and --options.
// Each command declares which options it takes and whether they need a value; anything
// else is a usage error with a message that names the offending argument. "--help" and "-h"
// are understood by every command, wherever they stand as an option (not as an option's
// value, nor after "--"), and win over any usage error.
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fk {

struct TOptionSpec {
    std::string name;  // without the leading dashes
    bool takesValue = false;
};

class TCommandLine {
public:
    // Parses args (without the program name and the command word). False with Error() set
    // on an unknown option, a missing value, or a value given to a flag, unless help was asked.
    bool Parse(const std::vector<std::string>& args, const std::vector<TOptionSpec>& options);

    // "--help" or "-h" was given.
    bool HelpRequested() const noexcept { return help_; }

    const std::vector<std::string>& Positional() const noexcept { return positional_; }
    bool Has(const std::string& name) const { return values_.count(name) != 0; }
    std::optional<std::string> Value(const std::string& name) const;
    // Every value of an option given more than once, in the order given (Value() is the last).
    std::vector<std::string> Values(const std::string& name) const;
    // A whole decimal number within [min, max]; false with Error() set otherwise.
    bool Integer(const std::string& name, long long min, long long max, long long& out);
    // A decimal number of seconds (fractions allowed) within (0, max].
    bool Seconds(const std::string& name, double max, double& out);

    const std::string& Error() const noexcept { return error_; }

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> values_;
    std::map<std::string, std::vector<std::string>> repeated_;
    std::string error_;
    bool help_ = false;
};

} // namespace fk
