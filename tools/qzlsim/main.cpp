// qzlsim: runs the driver in the simulated world and tells what it did.
//
//     qzlsim                      the built-in scenario: the first power-up of a simulated 0x3602
//     qzlsim --trace              the same, with the driver's trace messages on stderr
//     qzlsim boot --device 0x3502 the first power-up of a second-generation chip
//     qzlsim --help               the scenarios, the common options and the device ids
//     qzlsim SCENARIO --help      one scenario's options
//
// The scenarios register themselves (scenario.h); this file builds the command line from them.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "devices.h"
#include "scenario.h"

namespace qzlsim {
namespace {

// Exit statuses: 0 the scenario did what it shows, 1 it failed (and said why), 2 the command line
// was refused.
constexpr int kExitUsage = 2;

// A PCI device id: decimal or 0x hex, 0 to 0xFFFF. An id the driver does not know is taken.
std::string ParseDeviceId(const std::string& text, DeviceArg* device)
{
    size_t used = 0;
    unsigned long value = 0;
    try {
        value = std::stoul(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || value > 0xFFFF || text[0] == '-' || text[0] == '+') {
        return "\"" + text + "\" is not a PCI device id (a number from 0 to 0xFFFF, e.g. 0x3602)";
    }
    device->id = static_cast<uint16_t>(value);
    device->given = text;
    return {};
}

struct CommonOption {
    unsigned use;
    const char* name;
    const char* value;
    const char* help;
};

const CommonOption kCommonOptions[] = {
    {kUsesDevice, "--device", "ID", "PCI device id of the simulated chip, decimal or 0x hex (default 0x3602)"},
    {kUsesWorld, "--world", "FILE", "world file (TOML) with the access points and peers (default: the built-in world)"},
    {kUsesPcap, "--pcap", "OUT", "write every frame on the air to this pcap file"},
    {kUsesFiles, "--files", "DIR",
     "folder standing for the platform's file system, holding SystemRoot/System32/drivers/qzlwlan.dat and the "
     "files beside it (default: a new folder with the chip's package written by the package builder)"},
};

bool IsCommonOption(const std::string& name)
{
    for (const CommonOption& o : kCommonOptions) {
        if (name == o.name || name.rfind(std::string(o.name) + "=", 0) == 0) {
            return true;
        }
    }
    return false;
}

std::string* TargetOf(Run& run, unsigned use)
{
    switch (use) {
    case kUsesWorld:
        return &run.world;
    case kUsesPcap:
        return &run.pcap;
    case kUsesFiles:
        return &run.files;
    default:
        return nullptr;
    }
}

// One scenario's sub-command: the common options it honours, a refusal in words for those it
// ignores, and its own options.
CLI::App* AddScenario(CLI::App& app, const ScenarioInfo& info, Run& run)
{
    CLI::App* sub = app.add_subcommand(info.name, info.summary);
    sub->group("Scenarios (qzlsim SCENARIO --help for one's options)");
    sub->add_flag("--trace", run.trace, "echo the driver's trace messages to stderr");
    for (const CommonOption& o : kCommonOptions) {
        CLI::Option* option = nullptr;
        if ((info.uses & o.use) == 0) {
            const std::string scenario = info.name;
            const std::string name = o.name;
            option = sub->add_option_function<std::string>(
                o.name,
                [scenario, name](const std::string&) {
                    throw CLI::ValidationError(name, "\"" + scenario + "\" does not use " + name +
                                                         "; it is refused rather than ignored (qzlsim " + scenario +
                                                         " --help lists what it takes)");
                },
                "");
            option->expected(0, 1);  // refused with or without its value
            option->group("");       // not shown: the scenario has no such option
        } else if (o.use == kUsesDevice) {
            option = sub->add_option_function<std::string>(
                o.name,
                [&run](const std::string& text) {
                    const std::string error = ParseDeviceId(text, &run.device);
                    if (!error.empty()) {
                        throw CLI::ValidationError("--device", error);
                    }
                },
                o.help);
        } else {
            option = sub->add_option(o.name, *TargetOf(run, o.use), o.help);
        }
        option->type_name(o.value);
    }
    if (info.addOptions != nullptr) {
        info.addOptions(*sub);
    }
    const std::string details = info.details != nullptr ? info.details : "";
    const bool devices = (info.uses & kUsesDevice) != 0;
    sub->footer([details, devices] {
        std::string text = details;
        if (devices) {
            text += (text.empty() ? "" : "\n\n") + DeviceListText();
        }
        return text;
    });
    return sub;
}

std::string ScenarioList()
{
    std::string text = "Scenarios:\n";
    for (size_t i = 0; i < ScenarioCount(); ++i) {
        const ScenarioInfo& info = ScenarioAt(i);
        char line[256];
        std::snprintf(line, sizeof(line), "  %-10s %s\n", info.name, info.summary);
        text += line;
    }
    return text;
}

}  // namespace
}  // namespace qzlsim

int main(int argc, char** argv)
{
    using namespace qzlsim;
    Run run;
    CLI::App app("qzlsim: runs the driver on a simulated chip in a simulated world and prints what it did.\n"
                 "With no scenario it runs the built-in one: boot --device 0x3602.",
                 "qzlsim");
    // Before a scenario's name, or alone (the default scenario); each scenario takes it as well.
    app.add_flag("--trace", run.trace, "echo the driver's trace messages to stderr");
    app.require_subcommand(0, 1);
    for (size_t i = 0; i < ScenarioCount(); ++i) {
        (void)AddScenario(app, ScenarioAt(i), run);
    }
    app.get_formatter()->label("SUBCOMMAND", "SCENARIO");
    app.footer([] { return DeviceListText(); });
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ExtrasError& e) {
        // A word that names no scenario, or an option that neither the program nor the scenario takes.
        const char* scenario = nullptr;
        for (int i = 1; i < argc && scenario == nullptr; ++i) {
            scenario = FindScenario(argv[i]) != nullptr ? argv[i] : nullptr;
        }
        if (scenario != nullptr) {
            std::fprintf(stderr, "qzlsim %s: %s (qzlsim %s --help lists what it takes)\n", scenario, e.what(), scenario);
        } else if (argv[1][0] != '-') {
            std::fprintf(stderr, "qzlsim: \"%s\" is not a scenario\n%s", argv[1], ScenarioList().c_str());
        } else if (IsCommonOption(argv[1])) {
            std::fprintf(stderr, "qzlsim: %s belongs after a scenario's name, e.g. \"qzlsim boot %s ...\"\n", argv[1],
                         argv[1]);
        } else {
            std::fprintf(stderr, "qzlsim: %s (qzlsim --help lists the options and scenarios)\n", e.what());
        }
        return kExitUsage;
    } catch (const CLI::ValidationError& e) {
        // A refused option or device id: the message says why and what to do.
        std::fprintf(stderr, "qzlsim: %s\n", e.what());
        return kExitUsage;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "qzlsim: %s\n", e.what());
        std::fprintf(stderr, "run \"qzlsim --help\" for the scenarios and their options\n");
        return kExitUsage;
    }
    const ScenarioInfo* chosen = nullptr;
    for (CLI::App* sub : app.get_subcommands()) {
        chosen = FindScenario(sub->get_name());
    }
    if (chosen == nullptr) {
        chosen = FindScenario(kDefaultScenario);
    }
    if (chosen == nullptr || chosen->run == nullptr) {
        std::fprintf(stderr, "qzlsim: no scenario to run\n");
        return kExitUsage;
    }
    run.scenario = chosen->name;
    const int result = chosen->run(run);
    std::fflush(stdout);
    return result;
}
