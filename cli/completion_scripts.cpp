// SPDX-License-Identifier: Apache-2.0
// Writes veskar-convert's completion scripts for bash and zsh from the table of options and
// the tables of formats and layouts, as --help and the man page take them, so that none can
// drift from the program. An option's argument is completed by its name: FORMAT with the
// words of -f, LAYOUT with those of --layout, any other with file names. The first operand
// is TARGET_FOLDER (folders), the others SOURCEs (files and folders); with --info all are
// SOURCEs.
//
//   veskar_completion_scripts BASH_SCRIPT ZSH_SCRIPT
#include <cctype>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/options.h"
#include "core/formats.h"
#include "core/layouts.h"

using namespace veskar;
using cli::OptionId;
using cli::OptionRow;

namespace {

// What an option's argument is completed with.
enum class Values { Formats, Layouts, Files };
constexpr Values kAllValues[] = {Values::Formats, Values::Layouts, Values::Files};

Values ValuesOf(const OptionRow& row) {
    if (row.argument == "FORMAT") return Values::Formats;
    if (row.argument == "LAYOUT") return Values::Layouts;
    return Values::Files;
}

// The words of -f ("auto" and those of every format with an import), or of --layout.
std::vector<std::string> Words(Values values) {
    std::vector<std::string> words;
    if (values == Values::Formats) {
        words.emplace_back("auto");
        for (const auto& row : formats::Formats())
            if (row.import) words.emplace_back(row.word);
    } else if (values == Values::Layouts) {
        for (const auto& row : Layouts())
            words.emplace_back(row.word);
    }
    return words;
}

std::string Spaced(const std::vector<std::string>& words) {
    std::string text;
    for (const auto& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

std::string LongName(OptionId id) {
    for (const auto& row : cli::OptionTable())
        if (row.id == id) return "--" + std::string(row.longName);
    return {};
}

// The scripts quote none of the words: each must be made of letters, digits and '-' alone.
bool Plain(std::string_view word) {
    return !word.empty() &&
           word.find_first_not_of(
               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-") ==
               std::string_view::npos;
}

bool AllPlain() {
    for (const auto& row : cli::OptionTable())
        if (!Plain(row.longName) || (row.shortName != '\0' && !Plain({&row.shortName, 1})))
            return false;
    for (const Values values : kAllValues)
        for (const auto& word : Words(values))
            if (!Plain(word)) return false;
    return true;
}

// Words joined with spaces, broken into lines of at most 100 columns at `indent`.
std::string Wrapped(const std::vector<std::string>& words, std::size_t indent) {
    std::string lines(indent, ' ');
    std::size_t lineStart = 0;
    for (const auto& word : words) {
        if (lines.size() - lineStart > indent) {
            if (lines.size() - lineStart + 1 + word.size() > 100) {
                lines += "\n";
                lineStart = lines.size();
                lines += std::string(indent, ' ');
            } else {
                lines += ' ';
            }
        }
        lines += word;
    }
    return lines + "\n";
}

// bash: a pattern for the word before an option's argument. A short option that takes one
// may end a cluster of those that take none (-rf).
std::string BashCluster() {
    std::string flags;
    for (const auto& row : cli::OptionTable())
        if (row.shortName != '\0' && row.argument.empty()) flags += row.shortName;
    return flags.empty() ? "-" : "-*([" + flags + "])";
}

// The words that come before an argument completed with `values` (with every argument when
// `values` is null), joined by `separator`: "--format | -*([hnqr])f".
std::string BashArgumentPatterns(const Values* values, std::string_view separator) {
    std::string patterns;
    for (const auto& row : cli::OptionTable()) {
        if (row.argument.empty() || (values && ValuesOf(row) != *values)) continue;
        if (!patterns.empty()) patterns += separator;
        patterns += "--" + std::string(row.longName);
        if (row.shortName != '\0')
            patterns += std::string(separator) + BashCluster() + row.shortName;
    }
    return patterns;
}

std::string BashScript() {
    const std::string info = LongName(OptionId::Info);
    std::vector<std::string> options;
    for (const auto& row : cli::OptionTable())
        options.push_back("--" + std::string(row.longName));
    for (const auto& row : cli::OptionTable())
        if (row.shortName != '\0') options.push_back(std::string{'-', row.shortName});

    std::string script =
        "# bash completion for veskar-convert                       -*- shell-script -*-\n"
        "# Written by veskar_completion_scripts from veskar-convert's tables of options,\n"
        "# formats and layouts.\n"
        "\n"
        "_veskar_convert()\n"
        "{\n"
        "    local cur prev words cword split\n"
        "    _init_completion -s || return\n"
        "\n"
        "    # The operands before this word (the first is TARGET_FOLDER), whether \"--\" came\n"
        "    # before it, and whether " +
        info +
        " anywhere makes every operand a SOURCE.\n"
        "    local i word operands=0 info=\"\" ended=\"\"\n"
        "    for ((i = 1; i < ${#words[@]}; i++)); do\n"
        "        word=${words[i]}\n"
        "        if ((i == cword)); then\n"
        "            continue\n"
        "        elif [[ $ended || $word != -?* ]]; then\n"
        "            ((i < cword)) && ((operands++))\n"
        "        elif [[ $word == -- ]]; then\n"
        "            ((i < cword)) || break\n"
        "            ended=1\n"
        "        elif [[ $word == " +
        info +
        " ]]; then\n"
        "            info=1\n";
    if (const std::string all = BashArgumentPatterns(nullptr, "|"); !all.empty())
        script += "        elif [[ $word == @(" + all +
                  ") ]]; then\n"
                  "            ((i++))\n";
    script +=
        "        fi\n"
        "    done\n"
        "\n"
        "    # An option's argument: after the option, after its \"=\", or after a cluster of\n"
        "    # short options that it ends.\n"
        "    if [[ ! $ended ]]; then\n"
        "        case $prev in\n";
    for (const Values values : kAllValues) {
        const std::string patterns = BashArgumentPatterns(&values, " | ");
        if (patterns.empty()) continue;
        script += "            " + patterns + ")\n";
        if (values == Values::Files)
            script += "                _filedir\n";
        else
            script += "                COMPREPLY=($(compgen -W '" + Spaced(Words(values)) +
                      "' -- \"$cur\"))\n";
        script += "                return\n                ;;\n";
    }
    script +=
        "        esac\n"
        "        $split && return\n"
        "    fi\n"
        "\n"
        "    if [[ ! $ended && $cur == -* ]]; then\n"
        "        local options=(\n" +
        Wrapped(options, 12) +
        "        )\n"
        "        COMPREPLY=($(compgen -W \"${options[*]}\" -- \"$cur\"))\n"
        "    elif [[ $info ]] || ((operands > 0)); then\n"
        "        _filedir\n"
        "    else\n"
        "        _filedir -d\n"
        "    fi\n"
        "} &&\n"
        "    complete -F _veskar_convert veskar-convert\n"
        "\n"
        "# ex: filetype=sh\n";
    return script;
}

// zsh: an option's description, its help up to the first pause, in an _arguments entry
// between single quotes.
std::string ZshDescription(std::string_view help) {
    std::string text(help);
    for (char& c : text)
        if (c == '\n') c = ' ';
    for (const std::string_view pause : {": ", "; ", " ("})
        text = text.substr(0, text.find(pause));
    std::string quoted;
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else if (c == '[' || c == ']' || c == '\\')
            quoted += std::string{'\\', c};
        else
            quoted += c;
    }
    return quoted;
}

std::string ZshScript() {
    std::string script =
        "#compdef veskar-convert\n"
        "# zsh completion for veskar-convert, written by veskar_completion_scripts from\n"
        "# veskar-convert's tables of options, formats and layouts.\n"
        "\n"
        "_arguments -s -S \\\n";
    for (const auto& row : cli::OptionTable()) {
        const std::string longName = "--" + std::string(row.longName);
        const bool takesArgument = !row.argument.empty();
        std::string entry = "  ";
        if (row.shortName != '\0') {
            const std::string shortName = std::string{'-', row.shortName};
            entry += "'(" + shortName + " " + longName + ")'{" + shortName +
                     (takesArgument ? "+," : ",") + longName + (takesArgument ? "=" : "") + "}'";
        } else {
            entry += "'" + longName + (takesArgument ? "=" : "");
        }
        entry += "[" + ZshDescription(row.help) + "]";
        if (takesArgument) {
            std::string name(row.argument);
            for (char& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const Values values = ValuesOf(row);
            entry += ":" + name + ":" +
                     (values == Values::Files ? std::string("_files")
                                              : "(" + Spaced(Words(values)) + ")");
        }
        script += entry + "' \\\n";
    }
    script += "  '1:target folder:{ if (( $+opt_args[" + LongName(OptionId::Info) +
              "] )); then _files; else _files -/; fi }' \\\n"
              "  '*:source:_files'\n";
    return script;
}

bool Write(const char* path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (out.flush()) return true;
    std::cerr << "veskar_completion_scripts: cannot write " << path << '\n';
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: veskar_completion_scripts BASH_SCRIPT ZSH_SCRIPT\n";
        return 2;
    }
    if (!AllPlain()) {
        std::cerr << "veskar_completion_scripts: an option, format or layout word has a "
                     "character other than a letter, a digit or '-'\n";
        return 1;
    }
    return Write(argv[1], BashScript()) && Write(argv[2], ZshScript()) ? 0 : 1;
}
