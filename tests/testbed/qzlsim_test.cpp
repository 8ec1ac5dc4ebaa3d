// The testbed as a person uses it: the program itself runs, and its exit status and what it printed
// are checked. A refused option, a device id the driver does not take, a missing firmware file: each
// must be refused or explained in words, never shown as a bare status code or silently ignored.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Output {
    int status = -1;  // exit status
    std::string out;
    std::string err;
};

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/qzlsim-test-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Runs the testbed with these arguments (no word of them needs quoting).
Output Qzlsim(const std::string& arguments)
{
    TempDir dir;
    const std::string command = std::string(QZLSIM_PATH) + " " + arguments + " >" + (dir.path() / "out").string() +
                                " 2>" + (dir.path() / "err").string();
    const int raw = std::system(command.c_str());
    Output output;
    output.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    output.out = ReadFile(dir.path() / "out");
    output.err = ReadFile(dir.path() / "err");
    return output;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---- the command line ----------------------------------------------------------------------------------

TEST(TestbedCommandLine, RefusesACommonOptionTheScenarioIgnores)
{
    struct Case {
        const char* arguments;
        const char* option;
        const char* scenario;
    };
    const Case cases[] = {
        {"load --device 0x3602", "--device", "load"},
        {"boot --world some.toml", "--world", "boot"},
        {"prepare --device 0x3602 --pcap air.pcap", "--pcap", "prepare"},
        {"fwcmd --files /tmp", "--files", "fwcmd"},
        {"load --pcap", "--pcap", "load"},  // refused without its value as well
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Output o = Qzlsim(c.arguments);
        EXPECT_EQ(o.status, 2);
        EXPECT_TRUE(Contains(o.err, "\"" + std::string(c.scenario) + "\" does not use " + c.option)) << o.err;
        EXPECT_EQ(o.out, "");  // nothing ran
    }
}

TEST(TestbedCommandLine, RefusesWhatIsNeitherADeviceIdNorAScenario)
{
    struct Case {
        const char* arguments;
        const char* words;
    };
    const Case cases[] = {
        {"boot --device banana", "\"banana\" is not a PCI device id"},
        {"prepare --device 0x10000", "\"0x10000\" is not a PCI device id"},
        {"prepare --device -2", "\"-2\" is not a PCI device id"},
        {"bogus", "\"bogus\" is not a scenario"},
        {"--device 0x3502", "--device belongs after a scenario's name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Output o = Qzlsim(c.arguments);
        EXPECT_EQ(o.status, 2);
        EXPECT_TRUE(Contains(o.err, c.words)) << o.err;
        EXPECT_EQ(o.out, "");
    }
}

TEST(TestbedHelp, ListsEveryDeviceIdOfTheChipTableAndMarksTheRefusedOnes)
{
    // Each row: the ids of one chip, what they select, and whether the driver refuses them by design
    // (0x3503: hardware preparation does not take it; 0x3404: no interrupt routines; 0x3405: no chip).
    struct Row {
        const char* ids;
        const char* selects;
        bool refused;
    };
    const Row rows[] = {
        {"0x3404", "chip 0x3404, older generation", true},
        {"0x0C01 0x3501 0x3504", "chip 0x3501, second generation", false},
        {"0x0C02 0x3502", "chip 0x3502, second generation", false},
        {"0x3503", "chip 0x3503, second generation", true},
        {"0x0C03 0x3601", "chip 0x3601, third generation", false},
        {"0x0C04 0x3602 0x3603", "chip 0x3602, third generation", false},
        {"0x3405", "no chip", true},
    };
    for (const char* arguments : {"--help", "boot --help"}) {
        SCOPED_TRACE(arguments);
        const Output o = Qzlsim(arguments);
        ASSERT_EQ(o.status, 0);
        const std::vector<std::string> lines = Lines(o.out);
        size_t listed = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind("  0x", 0) == 0) {
                ++listed;
            }
        }
        EXPECT_EQ(listed, std::size(rows));
        for (const Row& row : rows) {
            SCOPED_TRACE(row.ids);
            size_t at = lines.size();
            for (size_t i = 0; i < lines.size(); ++i) {
                if (lines[i].rfind("  " + std::string(row.ids) + " ", 0) == 0) {
                    at = i;
                }
            }
            ASSERT_LT(at, lines.size());
            EXPECT_TRUE(Contains(lines[at], row.selects)) << lines[at];
            const bool marked = at + 1 < lines.size() && Contains(lines[at + 1], "refused by design");
            EXPECT_EQ(marked, row.refused);
        }
    }
}

// ---- failures explained in words --------------------------------------------------------------------

TEST(TestbedExplains, ADeviceTheDriverRefuses)
{
    struct Case {
        const char* device;
        const char* why;          // the testbed's words, the id as given
        const char* driverError;  // what the driver traced, shown with it ("" when not checked)
    };
    const Case cases[] = {
        {"0x3503", "why: 0x3503: not a device of this driver (refused by design", "device id 0x3503: not this driver's device"},
        {"39321", "why: 39321 (0x9999): not a device of this driver", "device id 0x9999: not this driver's device"},
        {"0x3404", "why: 0x3404: refused by design: the chip's layer has no interrupt routines",
         "the chip has no interrupt service or deferred routine"},
        {"0x3405", "why: 0x3405: not a device of this driver (refused by design", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        const Output o = Qzlsim(std::string("prepare --device ") + c.device);
        EXPECT_EQ(o.status, 1);
        EXPECT_TRUE(Contains(o.out, "hardware preparation failed: 0xC0000001 (unsuccessful)")) << o.out;
        EXPECT_TRUE(Contains(o.out, c.why)) << o.out;
        EXPECT_TRUE(Contains(o.out, c.driverError)) << o.out;
        // The driver gave back what it took, refusal or not.
        EXPECT_TRUE(Contains(o.out, "driver unloaded: every allocation")) << o.out;
    }
}

TEST(TestbedExplains, AMissingFirmwareContainer)
{
    TempDir files;  // a file system without the firmware package
    for (const char* device : {"0x3502", "0x3602"}) {
        SCOPED_TRACE(device);
        const Output o = Qzlsim(std::string("download --device ") + device + " --files " + files.path().string());
        EXPECT_EQ(o.status, 1);
        EXPECT_TRUE(Contains(o.out, "the device's start failed: 0xC0000001 (unsuccessful)")) << o.out;
        EXPECT_TRUE(Contains(o.out, "why: firmware container not found at " + files.path().string() +
                                        "/SystemRoot/System32/drivers/qzlwlan.dat")) << o.out;
        // The driver's own first error, its status named.
        EXPECT_TRUE(Contains(o.out, "open failed (0xC000003A, object path not found)")) << o.out;
    }
}

// ---- the default scenario and the boot summary ---------------------------------------------------

TEST(TestbedBoot, TraceKeepsTheDefaultScenarioAndTheSummaryNamesWhatTheChipIs)
{
    struct Case {
        const char* arguments;
        const char* first;  // the first line: the scenario and the device
        std::vector<std::string> shown;
        bool traced;        // the driver's trace echoed on stderr
    };
    const Case cases[] = {
        {"--trace",
         "qzlsim boot: the first power-up of a simulated chip of device id 0x3602",
         {"band 2.4 GHz", "widths 20/40 MHz", "band 5 GHz", "widths 20/40/80 MHz",
          "PHY types OFDM, HT, VHT, HE, EHT", "streams: 2 transmit, 2 receive",
          "HR/DSSS (802.11b), OFDM (802.11a), ERP (802.11g), HT (802.11n), VHT (802.11ac), HE (802.11ax), EHT (802.11be)",
          "MAC address 00:0C:43:36:02:01: the chip's own, from the firmware's capability report",
          "country \"US\": the driver's default",
          "RAM: NIC capability query: unified command 0x0E",
          "RAM: EEPROM buffer mode (buffer-bin): unified command 0x2D",
          "RAM: chip configuration text: unified command 0x0E"},
         true},
        {"boot --device 13570",  // 0x3502, given in decimal
         "qzlsim boot: the first power-up of a simulated chip of device id 13570 (0x3502)",
         {"second generation", "band 5 GHz", "widths 20/40/80/160 MHz", "PHY types OFDM, HT, VHT, HE\n",
          "MAC address 00:0C:43:35:00:01: the chip's own, from the firmware's capability report",
          "RAM: NIC capability query: command 0x8A", "RAM: multi-band multi-channel setting: command 0x28"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Output o = Qzlsim(c.arguments);
        EXPECT_EQ(o.status, 0) << o.out;
        ASSERT_FALSE(o.out.empty());
        EXPECT_EQ(Lines(o.out)[0], c.first);
        for (const std::string& part : c.shown) {
            EXPECT_TRUE(Contains(o.out, part)) << part;
        }
        EXPECT_EQ(Contains(o.err, "DriverEntry: "), c.traced) << o.err;
    }
}

}  // namespace
