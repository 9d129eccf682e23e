// SPDX-License-Identifier: Apache-2.0
// veskar-convert: converts Macintosh files into NTFS files with their named streams.
#include <iostream>
#include <string_view>
#include <vector>

#include "cli/run.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

using namespace veskar;

int main(int argc, char** argv) {
    // An interrupted BinHex import leaves no intermediate or staging file behind.
    platform::InstallInterruptCleanup();
    std::vector<std::string_view> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    return cli::Run(arguments, std::cout, std::cerr, platform::IsTerminal(stderr));
}
