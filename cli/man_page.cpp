// SPDX-License-Identifier: Apache-2.0
// Writes the man page from its template, with the lists of formats and layouts taken from
// their tables, as --help takes them, so that neither can drift from the program.
//
//   veskar_man_page TEMPLATE PAGE
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "core/formats.h"
#include "core/layouts.h"

using namespace veskar;

namespace {

// Text as roff shows it: a minus that is not a hyphen, a backslash that is not an escape, and
// no line that starts with a control character.
std::string Roff(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '-' || c == '\\') out += '\\';
        out += c;
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\'')) out.insert(0, "\\&");
    return out;
}

std::string Entry(std::string_view word, std::string_view text) {
    return ".TP\n.B " + Roff(word) + "\n" + Roff(text) + "\n";
}

std::string FormatEntries() {
    std::string entries;
    for (const auto& row : formats::Formats())
        if (row.import) entries += Entry(row.word, row.title);
    return entries;
}

std::string LayoutEntries() {
    std::string entries;
    for (const auto& row : Layouts())
        entries += Entry(row.word, row.help);
    return entries;
}

std::string AttributeLayouts() {
    std::string words;
    for (const auto& row : Layouts())
        if (row.needs == TargetNeeds::UserAttributes)
            words += (words.empty() ? "\\fB" : ", \\fB") + Roff(row.word) + "\\fR";
    return words;
}

void Replace(std::string& text, std::string_view mark, const std::string& with) {
    for (std::size_t at = 0; (at = text.find(mark, at)) != std::string::npos; at += with.size())
        text.replace(at, mark.size(), with);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: veskar_man_page TEMPLATE PAGE\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream page;
    page << in.rdbuf();
    if (!in) {
        std::cerr << "veskar_man_page: cannot read " << argv[1] << '\n';
        return 1;
    }
    std::string text = page.str();
    // Each list ends in a line break of its own; the template's line after the mark gives
    // another.
    Replace(text, "{{FORMATS}}\n", FormatEntries());
    Replace(text, "{{LAYOUTS}}\n", LayoutEntries());
    Replace(text, "{{ATTRIBUTE_LAYOUTS}}", AttributeLayouts());
    std::ofstream out(argv[2], std::ios::binary);
    out << text;
    if (!out.flush()) {
        std::cerr << "veskar_man_page: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
