#include "tools/frames/frame_options.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <map>
#include <optional>
#include <string_view>

const char FrameUsage[] =
    "Usage: glorp-frames [options] --out FILE\n"
    "Renders frames of the effect without a display and writes them to disk.\n"
    "\n"
    "  --picture FILE  the picture to warp (default: the embedded one)\n"
    "  --scroll S      scroll row of the first frame, 0 to 479 (default 0)\n"
    "  --time MS       clock reading of the first frame in milliseconds,\n"
    "                  0 to 4294967295; one scroll row every 10 ms\n"
    "  --count N       number of frames, 1 to 4800 (default 1)\n"
    "  --step MS       milliseconds from one frame to the next (default 10)\n"
    "  --format F      png, gif or raw (default: from the extension of --out:\n"
    "                  .png, .gif, .raw or .bin)\n"
    "  --out FILE      where to write: raw is 307200 palette indices per frame,\n"
    "                  back to back; gif is one looping animation; png is one\n"
    "                  indexed picture per frame, and with more than one frame\n"
    "                  FILE must hold one frame number field, %d or %0Nd\n"
    "                  (N from 1 to 9), as in frame-%03d.png; %% stands for %\n"
    "  --help          show this text\n"
    "--scroll and --time cannot be used together.\n";

namespace {

constexpr std::uint32_t ScrollRows = 480;
constexpr std::uint32_t MillisecondsPerRow = 10;

constexpr std::array<std::string_view, 7> ValueOptions = {
    "--picture", "--scroll", "--time", "--count", "--step", "--format", "--out"};

std::string Quoted(std::string_view text) {
    std::string quoted(1, '\'');
    quoted.append(text);
    quoted += '\'';
    return quoted;
}

// Digits only: no sign, no spaces, no trailing characters.
std::optional<std::uint32_t> ParseNumber(std::string_view text, std::uint32_t low,
                                         std::uint32_t high) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > high) {
            return std::nullopt;
        }
    }
    if (value < low) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

bool ParseNumberOption(const std::map<std::string_view, std::string_view>& values,
                       std::string_view name, std::uint32_t low, std::uint32_t high,
                       std::uint32_t& value, std::string& error) {
    auto found = values.find(name);
    if (found == values.end()) {
        return true;
    }
    std::optional<std::uint32_t> number = ParseNumber(found->second, low, high);
    if (!number) {
        error = std::string(name) + " must be a whole number from " + std::to_string(low) +
                " to " + std::to_string(high) + ", not " + Quoted(found->second);
        return false;
    }
    value = *number;
    return true;
}

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::optional<FrameFormat> FormatNamed(std::string_view name) {
    if (name == "png") {
        return FrameFormat::Png;
    }
    if (name == "gif") {
        return FrameFormat::Gif;
    }
    if (name == "raw") {
        return FrameFormat::Raw;
    }
    return std::nullopt;
}

std::optional<FrameFormat> FormatOfExtension(std::string_view path) {
    std::size_t slash = path.rfind('/');
    std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
    std::size_t dot = base.rfind('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    std::string extension = LowerCase(base.substr(dot + 1));
    return extension == "bin" ? FrameFormat::Raw : FormatNamed(extension);
}

bool ParseFormat(const std::map<std::string_view, std::string_view>& values,
                 const std::string& out, FrameFormat& format, std::string& error) {
    auto given = values.find("--format");
    if (given != values.end()) {
        std::optional<FrameFormat> named = FormatNamed(given->second);
        if (!named) {
            error = "--format must be png, gif or raw, not " + Quoted(given->second);
            return false;
        }
        format = *named;
        return true;
    }
    std::optional<FrameFormat> guessed = FormatOfExtension(out);
    if (!guessed) {
        error = "cannot tell the format from the name " + Quoted(out) +
                " (use .png, .gif, .raw or .bin, or --format)";
        return false;
    }
    format = *guessed;
    return true;
}

// A PNG name is a pattern: "%%" stands for "%", and one field "%d" or "%0Nd"
// (N from 1 to 9) takes the frame number. Nothing else may follow a "%", so
// the name never reaches a printf-style formatter.
bool ParseNamePattern(std::string_view text, FrameNamePattern& pattern, std::string& error) {
    pattern = {};
    std::string* part = &pattern.prefix;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *part += text[i];
            continue;
        }
        std::string_view rest = text.substr(i + 1);
        unsigned width = 0;
        std::size_t length = 0;
        if (rest.starts_with("%")) {
            *part += '%';
            ++i;
            continue;
        }
        if (rest.starts_with("d")) {
            length = 1;
        } else if (rest.size() >= 3 && rest[0] == '0' && rest[1] >= '1' && rest[1] <= '9' &&
                   rest[2] == 'd') {
            width = static_cast<unsigned>(rest[1] - '0');
            length = 3;
        } else {
            error = "--out " + Quoted(text) +
                    ": only %d, %0Nd (N from 1 to 9) and %% may follow a %";
            return false;
        }
        if (pattern.hasField) {
            error = "--out " + Quoted(text) + " holds more than one frame number field";
            return false;
        }
        pattern.hasField = true;
        pattern.width = width;
        part = &pattern.suffix;
        i += length;
    }
    return true;
}

bool ParseOutput(const std::map<std::string_view, std::string_view>& values,
                 FrameOptions& options, std::string& error) {
    auto out = values.find("--out");
    if (out == values.end()) {
        error = "--out FILE is required (see --help)";
        return false;
    }
    options.out = out->second;
    if (options.out.empty()) {
        error = "--out must name a file";
        return false;
    }
    if (!ParseFormat(values, options.out, options.format, error)) {
        return false;
    }
    if (options.format != FrameFormat::Png) {
        options.outName = {.prefix = options.out, .suffix = {}};
        return true;
    }
    if (!ParseNamePattern(options.out, options.outName, error)) {
        return false;
    }
    if (options.count > 1 && !options.outName.hasField) {
        error = "--out " + Quoted(options.out) +
                " needs one frame number field such as %03d for more than one PNG frame";
        return false;
    }
    return true;
}

bool ParseStart(const std::map<std::string_view, std::string_view>& values,
                FrameOptions& options, std::string& error) {
    if (values.contains("--scroll") && values.contains("--time")) {
        error = "--scroll and --time cannot be used together";
        return false;
    }
    std::uint32_t scroll = 0;
    if (!ParseNumberOption(values, "--scroll", 0, ScrollRows - 1, scroll, error)) {
        return false;
    }
    options.firstTime = scroll * MillisecondsPerRow;
    return ParseNumberOption(values, "--time", 0, std::numeric_limits<std::uint32_t>::max(),
                             options.firstTime, error);
}

}  // namespace

ParseOutcome ParseFrameOptions(int argc, const char* const* argv, FrameOptions& options,
                               std::string& error) {
    std::map<std::string_view, std::string_view> values;
    for (int i = 0; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == "--help") {
            return ParseOutcome::Help;
        }
        if (std::find(ValueOptions.begin(), ValueOptions.end(), argument) == ValueOptions.end()) {
            error = (argument.starts_with("-") ? "unknown option " : "unexpected argument ") +
                    Quoted(argument) + " (see --help)";
            return ParseOutcome::Error;
        }
        if (values.contains(argument)) {
            error = std::string(argument) + " is given more than once";
            return ParseOutcome::Error;
        }
        // A value that looks like an option means the value was left out.
        if (i + 1 == argc || std::string_view(argv[i + 1]).starts_with("--")) {
            error = std::string(argument) + " needs a value";
            return ParseOutcome::Error;
        }
        values[argument] = argv[++i];
    }

    FrameOptions parsed;
    auto picture = values.find("--picture");
    if (picture != values.end()) {
        parsed.picture = picture->second;
        if (parsed.picture.empty()) {
            error = "--picture must name a file";
            return ParseOutcome::Error;
        }
    }
    if (!ParseStart(values, parsed, error) ||
        !ParseNumberOption(values, "--count", 1, MaxFrameCount, parsed.count, error) ||
        !ParseNumberOption(values, "--step", 0, std::numeric_limits<std::uint32_t>::max(),
                           parsed.step, error) ||
        !ParseOutput(values, parsed, error)) {
        return ParseOutcome::Error;
    }
    options = parsed;
    return ParseOutcome::Run;
}

std::string FrameFileName(const FrameOptions& options, unsigned k) {
    const FrameNamePattern& name = options.outName;
    if (!name.hasField) {
        return name.prefix + name.suffix;
    }
    std::string number = std::to_string(k);
    if (number.size() < name.width) {
        number.insert(0, name.width - number.size(), '0');
    }
    return name.prefix + number + name.suffix;
}

std::uint32_t FrameTime(const FrameOptions& options, unsigned k) {
    return static_cast<std::uint32_t>(options.firstTime + std::uint64_t{k} * options.step);
}
