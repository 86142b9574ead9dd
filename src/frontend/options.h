// The UCI options: one table row per option, which "uci" lists and
// "setoption" looks up. Names are matched without regard to case, as the
// protocol asks; the value is checked against the option's type before its
// handler sees it.
#pragma once

enum class OptionType { SPIN, STRING };

// A value after "value ", already checked: text is the whole value as sent
// (for a string option, the path or word it holds), number its integer value
// for a spin option.
struct OptionValue {
    const char *text;
    long long number;
};

struct UciOption {
    const char *name;          // as "uci" lists it
    OptionType type;
    const char *default_text;  // shown after "default"
    long long min, max;        // spin options only
    void (*apply)(const OptionValue &value);
};

extern const UciOption UCI_OPTIONS[];
extern const int UCI_OPTION_COUNT;

// The row whose name equals name (len bytes) without regard to case, or nullptr.
const UciOption *findOption(const char *name, int len);

// Prints one "option name ..." line per option, in table order (part of the
// answer to "uci").
void printOptions();

// "setoption name NAME [value VALUE]" in input_buffer: sets the option. An
// unknown name, or a spin or string option without a value, is an unknown
// command; a spin value that is not a whole number is refused with an
// "info string" and changes nothing.
void setOptionCommand();
