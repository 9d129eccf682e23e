// SPDX-License-Identifier: Apache-2.0
#include "core/write/trial_names.h"

#include <cctype>
#include <map>
#include <set>

namespace veskar {

namespace trial_names {

namespace {

struct Given {
    std::map<std::string, std::set<std::string>> byFolder;
    std::set<std::string>* current = nullptr;
};

Given& Names() {
    static Given given;
    return given;
}

std::string Folded(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

}  // namespace

void Enter(std::string folder) {
    Names().current = &Names().byFolder[std::move(folder)];
}

void Add(std::string_view name) {
    if (Names().current) Names().current->insert(Folded(name));
}

bool Taken(std::string_view name) {
    const std::set<std::string>* names = Names().current;
    return names && names->contains(Folded(name));
}

void Forget() {
    Names() = {};
}

}  // namespace trial_names

}  // namespace veskar
