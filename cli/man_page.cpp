// SPDX-License-Identifier: Apache-2.0
// Writes the man page from its template: for now the template as it stands.
#include <fstream>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: veskar_man_page TEMPLATE PAGE\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::ofstream out(argv[2], std::ios::binary);
    out << in.rdbuf();
    return in && out ? 0 : 1;
}
