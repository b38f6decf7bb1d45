// The effect's parameter panel as the plug-in declares it, and how the command line reaches
// each parameter. Labels, ranges, defaults and choices are read from the declarations the
// plug-in makes in Params Setup, so the options cannot drift from the panel.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "host/param_ids.h"
#include "host_api/effect_api.h"

namespace mst {

// The unit an option is typed in.
enum class OptionKind {
    Angle,     // degrees -> 16.16 fixed
    Integer,   // whole number, integer slider
    Percent,   // percent -> 16.16 fixed, fixed slider
    Real,      // float slider
    Checkbox,  // a flag
    Popup,     // one word per choice
    Color,     // RRGGBB
};

struct ParamOption {
    ParamId id;
    const char* name;       // the long option, as "--offset"
    const char* valueName;  // shown in help: DEG, N, PCT, PX, X, RRGGBB
    OptionKind kind;
    PF_ParamType type;  // the declaration it sets
    const char* help;   // what the parameter does
    // Left off the choice texts to make the words: "On Original" is `--background original`.
    const char* dropPrefix;
};

// Every parameter set through one option of its own; Path and Layer take files and path data
// and have options of their own.
extern const std::array<ParamOption, 17> PARAM_OPTIONS;
const ParamOption& paramOption(ParamId id);

// The 16.16 range of an angle: whatever the host's fixed point holds, in whole degrees.
constexpr double ANGLE_MIN_DEGREES = -32768.0;
constexpr double ANGLE_MAX_DEGREES = 32767.0;

class Panel {
  public:
    // Runs the plug-in's Global Setup and Params Setup on a stand-in host and keeps what it
    // declares. Throws RunError when the setup fails or the declarations are not the ones
    // the options expect.
    static Panel declare();

    // The declaration of parameter `id` (1..19), as the plug-in filled it.
    const PF_ParamDef& def(ParamId id) const { return defs_.at(static_cast<size_t>(id)); }

  private:
    std::array<PF_ParamDef, PARAM_COUNT> defs_{};
};

// The texts of a popup's choices, in order.
std::vector<std::string> choiceLabels(const PF_ParamDef& def);
// The command-line words of a popup's choices: lower case, blanks as hyphens, the option's
// prefix left off ("Color Dodge" -> "color-dodge", "On Original" -> "original").
std::vector<std::string> choiceWords(const ParamOption& option, const PF_ParamDef& def);

// The range the option accepts, in its own units (degrees, percent, ...).
struct OptionRange {
    double min;
    double max;
};
OptionRange optionRange(const ParamOption& option, const PF_ParamDef& def);

// Shortest text that reads back as the same number ("1.2" for the float 1.2f, "100").
std::string numberText(double value);
std::string floatText(float value);

// The option's range and default as help shows them: "0 to 10000", "5".
std::string rangeText(const ParamOption& option, const PF_ParamDef& def);
std::string defaultText(const ParamOption& option, const PF_ParamDef& def);

// Sets `def`'s value from an option's text, in the host's units. Throws UsageError naming
// the option, the value and the range.
void setParamFromText(const ParamOption& option, PF_ParamDef& def, const std::string& text);

// Strict number parsing for option values: the whole text, finite. Throw UsageError with
// `option` in the message.
double parseReal(const std::string& option, const std::string& text);
int64_t parseWhole(const std::string& option, const std::string& text);
// A whole number within min..max.
int32_t parseWholeIn(const std::string& option, const std::string& text, int64_t min, int64_t max);

// The panel as `stamptrails params` prints it.
std::string panelTable(const Panel& panel);

}  // namespace mst
