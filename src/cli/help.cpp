#include <algorithm>
#include <string>

#include "cli/command_line.hpp"
#include "cli/version.hpp"

namespace shapemark::cli {

namespace {
std::string spelled(const Option& option) {
    std::string text = "--" + std::string(option.name);
    if (!option.valueName.empty()) {
        text += "=" + std::string(option.valueName);
    }
    return text;
}

// roff reads a leading '.' or '\'' as a request and '\' as an escape; '-' must be "\-" to stay
// a minus sign that can be searched for and copied.
std::string roff(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) {
        out.insert(0, "\\&");
    }
    return out;
}

// The shell pattern of the file names that a value or a word completes to.
const char* const kVideoPattern =
    "@(avi|AVI|mp4|MP4|m4v|M4V|mkv|MKV|mov|MOV|webm|WEBM|mpg|MPG|mpeg|MPEG|wmv|WMV|flv|FLV|ts|"
    "TS|ogv|OGV|3gp|3GP)";

const char* filePattern(ValueKind kind) {
    switch (kind) {
        case ValueKind::SnapshotFile:
            return "@(png|PNG)";
        case ValueKind::LogFile:
            return "@(csv|jsonl)";
        case ValueKind::ParamsFile:
            return "@(yml|yaml|YML|YAML)";
        case ValueKind::DetectorName:
        case ValueKind::Number:
        case ValueKind::None:
            break;
    }
    return "";
}

// What the shell offers for an option's value.
std::string valueCompletion(ValueKind kind) {
    switch (kind) {
        case ValueKind::DetectorName:
            return "COMPREPLY=($(compgen -W 'classic robust' -- \"$cur\"))";
        case ValueKind::Number:
            return ":";
        default:
            return std::string("_shapemark_files '") + filePattern(kind) + "'";
    }
}
}  // namespace

std::string helpText() {
    std::size_t width = 0;
    for (const Option& option : kOptions) {
        width = std::max(width, spelled(option).size());
    }
    std::string text =
        "Usage: shapemark [OPTION]... INPUT OUTPUT AREASIZE SKIPRATE\n"
        "Outlines in green the convex shapes of 3 to 8 corners in a video.\n"
        "\n"
        "  INPUT     the video to read\n"
        "  OUTPUT    the marked video to write (.avi, .mkv, .mov: MP42; .mp4, .m4v: H.264;\n"
        "            .webm: VP8)\n"
        "  AREASIZE  mark only shapes of more than this many square pixels, and under\n"
        "            10000, a bound that kept background blobs out of small frames;\n"
        "            --max-area raises it, or lifts it with --max-area=none\n"
        "  SKIPRATE  process every SKIPRATE-th frame; 1 processes all\n"
        "\n"
        "Options, before INPUT:\n";
    for (const Option& option : kOptions) {
        const std::string name = spelled(option);
        text += "  " + name + std::string(width + 2 - name.size(), ' ') +
                std::string(option.summary) + "\n";
    }
    text += "\nMore in 'man shapemark'.\n";
    return text;
}

std::string versionText() {
    return std::string("shapemark ") + kVersion + "\n";
}

std::string manOptionList() {
    std::string text;
    for (const Option& option : kOptions) {
        text += ".TP\n";
        if (option.valueName.empty()) {
            text += ".B " + roff("--" + std::string(option.name)) + "\n";
        } else {
            text += ".BI " + roff("--" + std::string(option.name)) + "= " +
                    std::string(option.valueName) + "\n";
        }
        text += roff(option.detail) + "\n";
    }
    return text;
}

std::string bashCompletion() {
    std::string names;
    std::string skipValue;   // an option whose value is the next word
    std::string valueFiles;  // what that value completes to
    for (const Option& option : kOptions) {
        const std::string name = "--" + std::string(option.name);
        names += (names.empty() ? "" : " ") + name;
        if (!option.valueName.empty()) {
            skipValue += (skipValue.empty() ? "" : "|") + name;
            valueFiles += "        " + name + ") " + valueCompletion(option.valueKind) + " ;;\n";
        }
    }
    std::string script =
        R"(# bash completion for shapemark: its options, and video files for INPUT and OUTPUT.
_shapemark_files() {
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X "!*.$1" -- "$cur"))
}

_shapemark_value() {
    case $1 in
@VALUE_FILES@    esac
}

_shapemark() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local restore
    restore=$(shopt -p extglob)
    shopt -s extglob
    COMPREPLY=()
    # Options come only before the four words; count the words typed so far.
    local i=1 word words=0 options=1
    while ((i < COMP_CWORD)); do
        word=${COMP_WORDS[i]}
        if ((options)) && [[ $word == -- ]]; then
            options=0
        elif ((options)) && [[ $word == --* ]]; then
            case $word in
            @SKIP_VALUE@) ((i++)) ;;
            esac
        else
            options=0
            ((words++))
        fi
        ((i++))
    done
    if ((options)) && [[ $prev == @(@SKIP_VALUE@) ]]; then
        _shapemark_value "$prev"
    elif ((options)) && [[ $cur == --*=* ]]; then
        local name=${cur%%=*}
        cur=${cur#*=}
        _shapemark_value "$name"
    elif ((options)) && [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '@NAMES@' -- "$cur"))
    elif ((words < 2)); then
        _shapemark_files '@VIDEO@'
    fi
    eval "$restore"
}

complete -F _shapemark shapemark
)";
    const auto replace = [&script](const std::string& key, const std::string& value) {
        for (std::size_t at = script.find(key); at != std::string::npos;
             at = script.find(key, at + value.size())) {
            script.replace(at, key.size(), value);
        }
    };
    replace("@VALUE_FILES@", valueFiles);
    replace("@SKIP_VALUE@", skipValue);
    replace("@NAMES@", names);
    replace("@VIDEO@", kVideoPattern);
    return script;
}

}  // namespace shapemark::cli
