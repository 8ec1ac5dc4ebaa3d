// qzlsim: runs the driver in the simulated world and tells what it did.
//
//     qzlsim                 the built-in scenario: the first power-up of a simulated 0x3602
//     qzlsim load            driver entry, device add, removal and unload of one device
//     qzlsim load --trace    the same, with the driver's trace messages on stderr
//     qzlsim prepare --device 0x3602
//                            hardware preparation and release on a simulated chip of that id
//     qzlsim fwcmd --device 0x3502
//                            one ROM-mode firmware command through the rings and its answer
//     qzlsim download --device 0x3602 [--files DIR]
//                            the firmware download through the rings, step by step
//     qzlsim boot --device 0x3502 [--files DIR]
//                            the first power-up through the OS: the whole bring-up, then stop,
//                            removal and unload
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scenarios.h"

namespace {

void Usage(FILE* out)
{
    std::fputs("usage: qzlsim [load | prepare --device ID | fwcmd --device ID |\n"
               "               download --device ID [--files DIR] | boot --device ID [--files DIR]]\n"
               "              [--trace]\n"
               "  load     load the driver, add one device, remove it and unload the driver,\n"
               "           printing what the driver did\n"
               "  prepare  the same over a simulated chip of PCI device id ID (e.g. 0x3602), with\n"
               "           hardware preparation and release: prints the chip selected or the\n"
               "           refusal; exits non-zero on a refusal\n"
               "  fwcmd    the same with the rings started and the simulated boot ROM on them: sends\n"
               "           one ROM-mode query (the ROM-version register read) and prints the command,\n"
               "           the answer event and the register accesses of the round trip (second and\n"
               "           third generation)\n"
               "  download the device started through the OS: its bring-up loads the Wi-Fi\n"
               "           container and downloads the ROM patch, the Bluetooth patch and the RAM\n"
               "           code; prints the sections, regions, bytes and data modes the ROM received,\n"
               "           and the final firmware state; exits 0 when the RAM code runs (second and\n"
               "           third generation)\n"
               "  boot     the first power-up through the OS: prepare hardware, D0 entry, interrupts,\n"
               "           D0 entry after interrupts; prints the OS's callbacks, what the driver built\n"
               "           (threads, port, rings, pools), what the firmware received (download and\n"
               "           post-download settings) and the services of later steps the bring-up\n"
               "           called; then stop, removal and unload; exits 0 when the device came up\n"
               "  --files  the folder that stands for the platform's file system, holding\n"
               "           SystemRoot/System32/drivers/qzlwlan.dat and the image files beside it\n"
               "           (default: a new folder with the chip's images written by the package\n"
               "           builder)\n"
               "  --trace  echo the driver's trace messages to stderr\n"
               "With no arguments: boot --device 0x3602.\n",
               out);
}

}  // namespace

int main(int argc, char** argv)
{
    // The built-in scenario shows the furthest the driver goes today: the first power-up of a
    // third-generation chip through the OS, and its stop.
    std::string scenario = argc > 1 ? "load" : "boot";
    qzlsim::Options options;
    long deviceId = argc > 1 ? -1 : 0x3602;
    std::string files;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        }
        if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "load" || arg == "prepare" || arg == "fwcmd" || arg == "download" || arg == "boot") {
            scenario = arg;
        } else if (arg == "--files" && i + 1 < argc) {
            files = argv[++i];
        } else if (arg == "--device" && i + 1 < argc) {
            char* end = nullptr;
            deviceId = std::strtol(argv[++i], &end, 0);
            if (end == argv[i] || *end != '\0' || deviceId < 0 || deviceId > 0xFFFF) {
                std::fprintf(stderr, "qzlsim: \"%s\" is not a PCI device id\n", argv[i]);
                return 2;
            }
        } else {
            std::fprintf(stderr, "qzlsim: unknown argument \"%s\"\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (scenario == "prepare" || scenario == "fwcmd" || scenario == "download" || scenario == "boot") {
        if (deviceId < 0) {
            std::fprintf(stderr, "qzlsim: %s needs --device ID\n", scenario.c_str());
            Usage(stderr);
            return 2;
        }
        const uint16_t id = static_cast<uint16_t>(deviceId);
        if (scenario == "download") {
            return qzlsim::RunDownload(options, id, files);
        }
        if (scenario == "boot") {
            return qzlsim::RunBoot(options, id, files);
        }
        return scenario == "fwcmd" ? qzlsim::RunFwCmd(options, id) : qzlsim::RunPrepare(options, id);
    }
    return qzlsim::RunLoad(options);
}
