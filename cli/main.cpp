// hvdv: command-line tool of the hv_dec_dv DV decoding library.
//
//     hvdv <command> [arguments]
//
// The subcommands register themselves (cli.h); this file dispatches to them
// and prints the list.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli.h"
#include "hv_dec_dv.h"

namespace {

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "hvdv %s - DV video decoding tool\n"
                 "\n"
                 "usage: hvdv <command> [arguments]\n"
                 "\n"
                 "commands:\n",
                 HVDV_VERSION_STRING);
    for (const hvdv_cli::Command& c : hvdv_cli::Commands()) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "  %-10s %s\n", "help", "list the commands");
    std::fprintf(out, "\n\"hvdv <command> --help\" describes a command.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "help" || name == "--help" || name == "-h") {
        if (name == "help" && argc > 2) {
            // "hvdv help info" is "hvdv info --help".
            for (const hvdv_cli::Command& c : hvdv_cli::Commands()) {
                if (argv[2] == std::string(c.name)) {
                    char help[] = "--help";
                    char* args[] = {argv[2], help, nullptr};
                    return c.run(2, args);
                }
            }
            std::fprintf(stderr, "hvdv: unknown command \"%s\"\n", argv[2]);
            return 2;
        }
        PrintUsage(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("hvdv %s\n", HVDV_VERSION_STRING);
        return 0;
    }
    for (const hvdv_cli::Command& c : hvdv_cli::Commands())
        if (name == c.name) return c.run(argc - 1, argv + 1);
    std::fprintf(stderr, "hvdv: unknown command \"%s\" (\"hvdv help\" lists them)\n", name.c_str());
    return 2;
}
