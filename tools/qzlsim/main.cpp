// qzlsim: runs the driver in the simulated world and tells what it did.
//
//     qzlsim                 the built-in scenario (for now: load)
//     qzlsim load            driver entry, device add, removal and unload of one device
//     qzlsim load --trace    the same, with the driver's trace messages on stderr
#include <cstdio>
#include <cstring>
#include <string>

#include "scenarios.h"

namespace {

void Usage(FILE* out)
{
    std::fputs("usage: qzlsim [load] [--trace]\n"
               "  load     load the driver, add one device, remove it and unload the driver,\n"
               "           printing what the driver did (the built-in scenario)\n"
               "  --trace  echo the driver's trace messages to stderr\n",
               out);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string scenario = "load";
    qzlsim::Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        }
        if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "load") {
            scenario = arg;
        } else {
            std::fprintf(stderr, "qzlsim: unknown argument \"%s\"\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    return qzlsim::RunLoad(options);
}
