#include "renderer/panel.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <sstream>

#include "host/entry_point.h"
#include "pixel/pixel_types.h"
#include "renderer/errors.h"
#include "standin_host/standin_host.h"

namespace mst {

const std::array<ParamOption, 17> PARAM_OPTIONS{{
    {OFFSET, "--offset", "DEG", OptionKind::Angle, PF_Param_ANGLE,
     "where the first stamp sits on a closed path, as a turn in degrees", ""},
    {NUMBER, "--number", "N", OptionKind::Integer, PF_Param_SLIDER, "stamps along the path", ""},
    {LENGTH, "--length", "PCT", OptionKind::Percent, PF_Param_FIX_SLIDER,
     "share of the stamps visible at once", ""},
    {TIME, "--time", "PCT", OptionKind::Percent, PF_Param_FIX_SLIDER,
     "where the visible stamps are: they grow in from the path's start and run out at its end", ""},
    {WIDTH, "--width", "PX", OptionKind::Real, PF_Param_FLOAT_SLIDER, "stamp width in pixels", ""},
    {ANGLE, "--angle", "DEG", OptionKind::Angle, PF_Param_ANGLE,
     "stamp rotation, added to the path's direction", ""},
    {FIXED_ANGLE, "--fixed-angle", "", OptionKind::Checkbox, PF_Param_CHECKBOX,
     "keep every stamp at --angle instead of turning it with the path", ""},
    {SHAPE, "--shape", "", OptionKind::Popup, PF_Param_POPUP,
     "stamp shape; layer stamps scaled copies of --layer", ""},
    {INNER, "--inner", "PCT", OptionKind::Percent, PF_Param_FIX_SLIDER,
     "hole in circles and polygons, as a share of their radius", ""},
    {N_SIDES, "--sides", "N", OptionKind::Integer, PF_Param_SLIDER, "polygon sides", ""},
    {EDGE_THICKNESS, "--edge-thickness", "PX", OptionKind::Integer, PF_Param_SLIDER,
     "edge ring of circles and polygons; 0 for none", ""},
    {EDGE_MODE, "--edge-mode", "", OptionKind::Popup, PF_Param_POPUP,
     "edge colour: the stamp's colour made lighter or darker, or --edge-color", ""},
    {EDGE_LIGHTNESS, "--edge-lightness", "X", OptionKind::Real, PF_Param_FLOAT_SLIDER,
     "edge lightness with --edge-mode lightness", ""},
    {EDGE_COLOR, "--edge-color", "RRGGBB", OptionKind::Color, PF_Param_COLOR,
     "edge colour with --edge-mode color, as hex digits", ""},
    {COLOR_BLEND_MODE, "--blend-mode", "", OptionKind::Popup, PF_Param_POPUP,
     "how the sampled colour tints layer stamps", ""},
    {COLOR_OPACITY, "--color-opacity", "PCT", OptionKind::Percent, PF_Param_FIX_SLIDER,
     "strength of that tint", ""},
    {BACKGROUND, "--background", "", OptionKind::Popup, PF_Param_POPUP,
     "what the stamps are drawn over", "On "},
}};

const ParamOption& paramOption(ParamId id) {
    for (const ParamOption& o : PARAM_OPTIONS) {
        if (o.id == id)
            return o;
    }
    throw std::out_of_range("no option for parameter " + std::to_string(id));
}

Panel Panel::declare() {
    StandinHost host(EntryPointFunc);
    if (const PF_Err err = host.setUp()) {
        throw RunError("the plug-in's setup failed with error " + std::to_string(err));
    }
    const auto expected = static_cast<size_t>(PARAM_COUNT - 1);
    if (host.declared.size() != expected) {
        throw RunError("the plug-in declared " + std::to_string(host.declared.size()) +
                       " parameters; this program knows " + std::to_string(expected));
    }
    Panel panel;
    for (size_t i = 0; i < expected; ++i) {
        const PF_ParamDef& def = host.declared[i];
        if (def.id != static_cast<int32_t>(i + 1)) {
            throw RunError("the plug-in's parameter " + std::to_string(i + 1) + " has id " +
                           std::to_string(def.id));
        }
        panel.defs_[i + 1] = def;
    }
    auto expectType = [&panel](ParamId id, PF_ParamType type) {
        if (panel.def(id).param_type != type) {
            throw RunError(std::string("the plug-in declares \"") + panel.def(id).name +
                           "\" as a parameter of another type than this program expects");
        }
    };
    for (const ParamOption& o : PARAM_OPTIONS)
        expectType(o.id, o.type);
    expectType(PATH, PF_Param_PATH);
    expectType(LAYER, PF_Param_LAYER);
    return panel;
}

std::vector<std::string> choiceLabels(const PF_ParamDef& def) {
    std::vector<std::string> labels;
    const std::string texts = def.u.pd.namesptr != nullptr ? def.u.pd.namesptr : "";
    size_t begin = 0;
    for (;;) {
        const size_t bar = texts.find('|', begin);
        labels.push_back(texts.substr(begin, bar - begin));
        if (bar == std::string::npos)
            break;
        begin = bar + 1;
    }
    return labels;
}

std::vector<std::string> choiceWords(const ParamOption& option, const PF_ParamDef& def) {
    std::vector<std::string> words;
    const std::string prefix = option.dropPrefix;
    for (std::string label : choiceLabels(def)) {
        if (!prefix.empty() && label.rfind(prefix, 0) == 0)
            label.erase(0, prefix.size());
        for (char& c : label) {
            c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        words.push_back(label);
    }
    return words;
}

OptionRange optionRange(const ParamOption& option, const PF_ParamDef& def) {
    switch (option.kind) {
        case OptionKind::Angle:
            return {ANGLE_MIN_DEGREES, ANGLE_MAX_DEGREES};
        case OptionKind::Integer:
            return {static_cast<double>(def.u.sd.valid_min),
                    static_cast<double>(def.u.sd.valid_max)};
        case OptionKind::Percent:
            return {def.u.fd.valid_min / 65536.0, def.u.fd.valid_max / 65536.0};
        case OptionKind::Real:
            return {def.u.fs_d.valid_min, def.u.fs_d.valid_max};
        case OptionKind::Popup:
            return {1.0, static_cast<double>(def.u.pd.num_choices)};
        case OptionKind::Checkbox:
            return {0.0, 1.0};
        case OptionKind::Color:
            return {0.0, 0xFFFFFF};
    }
    return {0.0, 0.0};
}

std::string numberText(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string floatText(float value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

namespace {

std::string joinWords(const std::vector<std::string>& words, const char* separator) {
    std::string s;
    for (size_t i = 0; i < words.size(); ++i)
        s += (i ? separator : "") + words[i];
    return s;
}

std::string hexColor(const PF_Pixel8& c) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x%02x%02x", c.red, c.green, c.blue);
    return text;
}

[[noreturn]] void outOfRange(const ParamOption& option, const PF_ParamDef& def,
                             const std::string& text) {
    throw UsageError(std::string(option.name) + " " + text + " is out of range: \"" + def.name +
                     "\" takes " + rangeText(option, def));
}

}  // namespace

std::string rangeText(const ParamOption& option, const PF_ParamDef& def) {
    switch (option.kind) {
        case OptionKind::Popup:
            return joinWords(choiceWords(option, def), "|");
        case OptionKind::Checkbox:
            return "on or off";
        case OptionKind::Color:
            return "000000 to ffffff";
        case OptionKind::Real:
            return floatText(def.u.fs_d.valid_min) + " to " + floatText(def.u.fs_d.valid_max);
        default: {
            const OptionRange r = optionRange(option, def);
            return numberText(r.min) + " to " + numberText(r.max);
        }
    }
}

std::string defaultText(const ParamOption& option, const PF_ParamDef& def) {
    switch (option.kind) {
        case OptionKind::Angle:
            return numberText(def.u.ad.dephault / 65536.0);
        case OptionKind::Integer:
            return std::to_string(def.u.sd.dephault);
        case OptionKind::Percent:
            return numberText(def.u.fd.dephault / 65536.0);
        case OptionKind::Real:
            return floatText(def.u.fs_d.dephault);
        case OptionKind::Checkbox:
            return def.u.bd.dephault ? "on" : "off";
        case OptionKind::Popup: {
            const std::vector<std::string> words = choiceWords(option, def);
            const int32_t i = def.u.pd.dephault - 1;
            return i >= 0 && i < static_cast<int32_t>(words.size()) ? words[static_cast<size_t>(i)]
                                                                    : "?";
        }
        case OptionKind::Color:
            return hexColor(def.u.cd.dephault);
    }
    return "";
}

double parseReal(const std::string& option, const std::string& text) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    double value = 0.0;
    const auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc::result_out_of_range) {
        throw UsageError(option + " " + text + " is out of range");
    }
    if (first == last || result.ec != std::errc() || result.ptr != last || !std::isfinite(value)) {
        throw UsageError(option + ": '" + text + "' is not a number");
    }
    return value;
}

int64_t parseWhole(const std::string& option, const std::string& text) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    int64_t value = 0;
    const auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc::result_out_of_range) {
        throw UsageError(option + " " + text + " is out of range");
    }
    if (first == last || result.ec != std::errc() || result.ptr != last) {
        throw UsageError(option + ": '" + text + "' is not a whole number");
    }
    return value;
}

int32_t parseWholeIn(const std::string& option, const std::string& text, int64_t min, int64_t max) {
    const int64_t v = parseWhole(option, text);
    if (v < min || v > max) {
        throw UsageError(option + " " + text + " is out of range: it takes " + std::to_string(min) +
                         " to " + std::to_string(max));
    }
    return static_cast<int32_t>(v);
}

// Degrees and percentages become 16.16 rounded to nearest (toFixed, the effect's own
// rounding). A typed float slider value is kept as the double it reads as, as the panel keeps
// a typed value; left out, the option keeps the declared default (for "Edge Lightness" the
// single-precision 1.2 widened, not the double 1.2).
void setParamFromText(const ParamOption& option, PF_ParamDef& def, const std::string& text) {
    const std::string name = option.name;
    switch (option.kind) {
        case OptionKind::Angle: {
            const double v = parseReal(name, text);
            if (!(v >= ANGLE_MIN_DEGREES && v <= ANGLE_MAX_DEGREES))
                outOfRange(option, def, text);
            def.u.ad.value = toFixed(v);
            return;
        }
        case OptionKind::Integer: {
            const int64_t v = parseWhole(name, text);
            if (v < def.u.sd.valid_min || v > def.u.sd.valid_max)
                outOfRange(option, def, text);
            def.u.sd.value = static_cast<int32_t>(v);
            return;
        }
        case OptionKind::Percent: {
            const double v = parseReal(name, text);
            const OptionRange r = optionRange(option, def);
            if (!(v >= r.min && v <= r.max))
                outOfRange(option, def, text);
            def.u.fd.value = toFixed(v);
            return;
        }
        case OptionKind::Real: {
            const double v = parseReal(name, text);
            if (!(v >= def.u.fs_d.valid_min && v <= def.u.fs_d.valid_max)) {
                outOfRange(option, def, text);
            }
            def.u.fs_d.value = v;
            return;
        }
        case OptionKind::Checkbox:
            def.u.bd.value = 1;
            return;
        case OptionKind::Popup: {
            const std::vector<std::string> words = choiceWords(option, def);
            const auto it = std::find(words.begin(), words.end(), text);
            if (it == words.end()) {
                throw UsageError(name + ": '" + text + "' is not a choice; \"" + def.name +
                                 "\" takes " + joinWords(words, ", "));
            }
            def.u.pd.value = static_cast<int32_t>(it - words.begin()) + 1;
            return;
        }
        case OptionKind::Color: {
            std::string hex = text;
            if (!hex.empty() && hex[0] == '#')
                hex.erase(0, 1);
            const bool digits = hex.size() == 6 &&
                                std::all_of(hex.begin(), hex.end(),
                                            [](unsigned char c) { return std::isxdigit(c) != 0; });
            if (!digits) {
                throw UsageError(name + ": '" + text +
                                 "' is not a colour; give six hex digits RRGGBB, as ff8000");
            }
            const auto rgb = static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
            def.u.cd.value = PF_Pixel8{255, static_cast<uint8_t>(rgb >> 16),
                                       static_cast<uint8_t>((rgb >> 8) & 0xFF),
                                       static_cast<uint8_t>(rgb & 0xFF)};
            return;
        }
    }
}

std::string panelTable(const Panel& panel) {
    struct Row {
        std::string index, label, type, range, slider, dflt, option, choices;
    };
    std::vector<Row> rows;
    rows.push_back({"#", "Label", "Type", "Valid range", "Slider range", "Default", "Option", ""});
    for (int32_t i = PATH; i < PARAM_COUNT; ++i) {
        const auto id = static_cast<ParamId>(i);
        const PF_ParamDef& d = panel.def(id);
        Row row;
        row.index = std::to_string(i);
        row.label = d.name;
        row.range = row.slider = "-";
        switch (d.param_type) {
            case PF_Param_PATH:
                row.type = "path";
                row.dflt =
                    d.u.path_d.dephault == 0 ? "no mask" : std::to_string(d.u.path_d.dephault);
                row.option = "--path DATA | --path-file FILE";
                rows.push_back(row);
                continue;
            case PF_Param_LAYER:
                row.type = "layer";
                row.dflt = d.u.ld.dephault == PF_LayerDefault_NONE ? "none" : "the effect's layer";
                row.option = "--layer FILE";
                rows.push_back(row);
                continue;
            default:
                break;
        }
        const ParamOption& o = paramOption(id);
        row.option = o.name;
        if (*o.valueName != '\0')
            row.option += std::string(" ") + o.valueName;
        row.dflt = defaultText(o, d);
        switch (d.param_type) {
            case PF_Param_ANGLE:
                row.type = "angle";
                row.range = "any (degrees)";
                row.dflt += "°";
                break;
            case PF_Param_SLIDER:
                row.type = "slider";
                row.range = rangeText(o, d);
                row.slider =
                    std::to_string(d.u.sd.slider_min) + " to " + std::to_string(d.u.sd.slider_max);
                break;
            case PF_Param_FIX_SLIDER: {
                const bool percent = (d.u.fd.display_flags & PF_ValueDisplayFlag_PERCENT) != 0;
                const std::string unit = percent ? " %" : "";
                row.type = "fixed slider";
                row.range = rangeText(o, d) + unit;
                row.slider = numberText(d.u.fd.slider_min / 65536.0) + " to " +
                             numberText(d.u.fd.slider_max / 65536.0) + unit;
                row.dflt += unit;
                break;
            }
            case PF_Param_FLOAT_SLIDER:
                row.type = "float slider";
                row.range = rangeText(o, d);
                row.slider =
                    floatText(d.u.fs_d.slider_min) + " to " + floatText(d.u.fs_d.slider_max);
                break;
            case PF_Param_CHECKBOX:
                row.type = "checkbox";
                break;
            case PF_Param_POPUP: {
                row.type = "popup";
                const std::vector<std::string> labels = choiceLabels(d);
                const std::vector<std::string> words = choiceWords(o, d);
                for (size_t c = 0; c < labels.size(); ++c) {
                    row.choices += (c ? ", " : "") + std::to_string(c + 1) + " " + labels[c] +
                                   " (" + words[c] + ")";
                }
                const int32_t k = d.u.pd.dephault - 1;
                if (k >= 0 && k < static_cast<int32_t>(labels.size())) {
                    row.dflt = std::to_string(k + 1) + " " + labels[static_cast<size_t>(k)];
                }
                break;
            }
            case PF_Param_COLOR:
                row.type = "color";
                break;
            default:
                row.type = "?";
                break;
        }
        rows.push_back(row);
    }

    // Column widths count characters, not bytes (the degree sign is two bytes).
    auto width = [](const std::string& s) {
        return static_cast<size_t>(
            std::count_if(s.begin(), s.end(), [](unsigned char c) { return (c & 0xC0) != 0x80; }));
    };
    std::array<size_t, 6> w{};
    for (const Row& r : rows) {
        const std::array<const std::string*, 6> cells{&r.index, &r.label,  &r.type,
                                                      &r.range, &r.slider, &r.dflt};
        for (size_t c = 0; c < cells.size(); ++c)
            w[c] = std::max(w[c], width(*cells[c]));
    }
    std::ostringstream out;
    for (const Row& r : rows) {
        const std::array<const std::string*, 6> cells{&r.index, &r.label,  &r.type,
                                                      &r.range, &r.slider, &r.dflt};
        for (size_t c = 0; c < cells.size(); ++c) {
            out << *cells[c] << std::string(w[c] - width(*cells[c]) + 2, ' ');
        }
        out << r.option << '\n';
        if (!r.choices.empty()) {
            out << std::string(w[0] + 2, ' ') << "choices: " << r.choices << '\n';
        }
    }
    return out.str();
}

}  // namespace mst
