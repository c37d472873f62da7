#pragma once
// The number-format settings SprintFloat uses (the framework's TFormatSettings, reduced to
// what the formatter needs).

namespace fk {

struct TFormatSettings {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
};

// The process's default settings: the user's locale (LANG / LC_ALL / LC_NUMERIC) as found
// at the first call; a separator that is not a single byte falls back to '.' / ','.
const TFormatSettings& DefaultFormatSettings();

} // namespace fk
