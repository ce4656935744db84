// SPDX-License-Identifier: MIT
// The capture tool's command line.
#include <cerrno>
#include <cstdlib>
#include <string>

#include "kova_tool.h"

namespace kova_tool {

namespace {

void usage(std::FILE* to)
{
    std::fprintf(to,
                 "usage: kova-capture [options]\n"
                 "       kova-capture --list [--json]\n"
                 "Captures live frames from a QUADRELV3 scanner and writes the last one, raw and corrected\n"
                 "with the scanner's uniformity tables, as PNG files.\n"
                 "\n"
                 "  --sensor ID         open this scanner (default: the first one listed)\n"
                 "  --frames N          frames to take, 1 to 1000000 (default 30)\n"
                 "  --out DIR           output folder, created when missing (default ./capture)\n"
                 "  --level N           log level 0 to 4 (default 3)\n"
                 "  --list              print the attached scanners (sensor id, serial number, descriptor\n"
                 "                      code) and exit\n"
                 "  --json              with --list: one JSON document, with information and capabilities\n"
                 "  --scenario FILE     stand-in: the scenario file to simulate (scanners, faults, events;\n"
                 "                      see the stand-in's README); the run reopens a scanner that goes away\n"
                 "  --panel PORT        stand-in: serve the virtual scanner panel on http://127.0.0.1:PORT/\n"
                 "                      (0: any free port) while the run lasts\n"
                 "  --unplug-after N    stand-in: unplug the scanner after N frames and plug it back a second\n"
                 "                      later (one more event of the scenario's timeline)\n"
                 "  --fast              stand-in: deliver a frame every %u us instead of 15 per second\n"
                 "  --version           print the version and exit\n"
                 "  --help              show this text\n"
                 "\n"
                 "Files: raw_frame.png (16-bit grey; 10 significant bits, raw sample = value >> 6),\n"
                 "corrected_frame.png (8-bit), gain_table.png and offset_table.png (8-bit, stretched).\n"
                 "The log file is PROGRAMDATA/Celdra/Nivora SDK/kovavantorquadrelv3.log (/var/lib when\n"
                 "PROGRAMDATA is unset). Exit status: 0 done, 1 a call failed, 2 bad usage.\n",
                 fast_frame_interval_us);
}

bool parse_count(const char* text, unsigned low, unsigned high, unsigned& value)
{
    if (text == nullptr || *text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long parsed = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
    value = static_cast<unsigned>(parsed);
    return true;
}

int bad_usage(const std::string& message)
{
    std::fprintf(stderr, "kova-capture: %s (kova-capture --help lists the options)\n", message.c_str());
    return 2;
}

} // namespace

int parse_options(int argc, char** argv, Options& options)
{
    struct Count {
        const char* name;
        unsigned Options::*value;
        unsigned low, high;
    };
    static const Count counts[] = {{"--frames", &Options::frames, 1, 1000000},
                                   {"--level", &Options::level, 0, 4},
                                   {"--unplug-after", &Options::unplug_after, 1, 999999}};
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (option == "--help" || option == "-h") {
            usage(stdout);
            return -1;
        }
        if (option == "--version") {
            std::printf("kova-capture %s\n", KOVA_VERSION_STRING);
            return -1;
        }
        if (option == "--fast" || option == "--list" || option == "--json") {
            (option == "--fast" ? options.fast : option == "--list" ? options.list : options.json) = true;
            continue;
        }
        bool known = false;
        for (const Count& count : counts) {
            if (option != count.name) continue;
            known = true;
            if (!parse_count(value, count.low, count.high, options.*count.value))
                return bad_usage(option + " takes a whole number from " + std::to_string(count.low) + " to " +
                                 std::to_string(count.high) + ", not '" + (value != nullptr ? value : "") + "'");
        }
        struct Text {
            const char* name;
            std::string Options::*value;
            const char* takes;
        };
        static const Text texts[] = {{"--sensor", &Options::sensor, "a sensor id (kova-capture --list shows them)"},
                                     {"--out", &Options::out, "a folder"},
                                     {"--scenario", &Options::scenario, "a scenario file"},
                                     {"--panel", &Options::panel, "a port (0: any free one)"}};
        for (const Text& text : texts) {
            if (option != text.name) continue;
            known = true;
            if (value == nullptr || *value == '\0') return bad_usage(option + " takes " + text.takes);
            options.*text.value = value;
        }
        if (!known) return bad_usage("unknown option " + option);
        ++i;
    }
    if (options.json && !options.list) return bad_usage("--json goes with --list");
    if (options.unplug_after != 0 && options.unplug_after >= options.frames)
        return bad_usage("--unplug-after takes a number below --frames (" + std::to_string(options.frames) + ")");
    return 0;
}

} // namespace kova_tool
