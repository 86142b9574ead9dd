// The UCI options: one table row per option, which "uci" lists and
// "setoption" looks up. Names are matched without regard to case, as the
// protocol asks; the value is checked against the option's type before its
// handler sees it.
#pragma once

enum class OptionType { SPIN, STRING, CHECK, BUTTON };

// A value after "value ", already checked: text is the whole value as sent
// (for a string option, the path or word it holds), number its integer value
// for a spin option, 1 or 0 for a check option ("true" or "false").
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
    // A spin value outside min..max is refused here; otherwise the handler
    // deals with it (Hash reports and takes its default).
    bool refuse_out_of_range;
};

// The values the "go" command hands to the search.
extern int multipv_lines;   // "MultiPV"
extern bool ponder_enabled; // "Ponder": the GUI ponders, so "bestmove" names a reply

extern const UciOption UCI_OPTIONS[];
extern const int UCI_OPTION_COUNT;

// The row whose name equals name (len bytes) without regard to case, or nullptr.
const UciOption *findOption(const char *name, int len);

// Prints one "option name ..." line per option, in table order (part of the
// answer to "uci").
void printOptions();

// "setoption name NAME [value VALUE]" in input_buffer: sets the option. An
// unknown name, or a spin, string or check option without a value, is an
// unknown command; a spin value that is not a whole number (or out of range),
// or a check value other than true or false, is refused with an
// "info string" and changes nothing. A button needs no value.
void setOptionCommand();
