// SPDX-License-Identifier: MIT
// kova-check [--json] [LIBRARY]: whether the system will bind to a device library, and, run with no
// library, to the one the loader would take on this machine, with what else the system needs there.
// Exits 0 only when the system will bind.
#include <boost/filesystem/operations.hpp>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "kova_status.h"
#include "kovavantorquadrelv3.h"
#include "logging/log_path.h"
#include "platform/host.h"
#include "platform/library.h"
#include "tools/check/binding_check.h"

namespace {

namespace platform = nvr::vantorquadrelv3::platform;
using kova_check::Finding;

#if defined(_WIN32)
constexpr const char* device_library = "VQUAD.dll";
constexpr const char* system_library = "kovavantorquadrelv3.dll";
#else
constexpr const char* device_library = "libVQUAD.so.1";
constexpr const char* system_library = "libkovavantorquadrelv3.so.1";
#endif
constexpr std::size_t largest_library = std::size_t{1} << 30;

// A finding about this machine: refused when it keeps the system from running here.
Finding host(std::string subject, std::string text, bool fatal = false)
{
    return kova_check::finding(fatal ? "refused" : "host", std::move(subject), std::move(text), fatal);
}

void check_file(const std::string& path, std::vector<Finding>& findings)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> bytes;
    if (file) {
        file.seekg(0, std::ios::end);
        const std::streamoff size = file.tellg();
        file.seekg(0, std::ios::beg);
        if (size >= 0 && static_cast<unsigned long long>(size) <= largest_library) {
            bytes.resize(static_cast<std::size_t>(size));
            file.read(reinterpret_cast<char*>(bytes.data()), size);
        }
        if (!file) bytes.clear();
    }
    if (!file) {
        findings.push_back(host(path, path + ": cannot be read", true));
        return;
    }
    kova_check::ModuleImage image;
    const std::string unreadable = kova_check::read_module(bytes.data(), bytes.size(), image);
    if (!unreadable.empty()) {
        findings.push_back(host(path, path + ": " + unreadable, true));
        return;
    }
    std::vector<Finding> module = kova_check::check_device_library(path, image, platform::demangle);
    findings.insert(findings.end(), module.begin(), module.end());
}

bool at_least(const std::string& version, unsigned major, unsigned minor)
{
    unsigned found_major = 0, found_minor = 0;
    if (std::sscanf(version.c_str(), "%u.%u", &found_major, &found_minor) != 2) return false;
    return found_major > major || (found_major == major && found_minor >= minor);
}

// The machine itself: the C++ runtime, the log folder, and the scanners through the system.
void check_host(std::vector<Finding>& findings, bool binds)
{
    const std::string system = platform::system_folder();
    if (!system.empty()) {
        // The STL the system is built with needs the Visual C++ 2015-2022 runtime 14.36 or newer.
        const std::string runtime = system + "\\msvcp140.dll";
        const std::string version = platform::file_version(runtime);
        if (!std::ifstream(runtime))
            findings.push_back(host("Visual C++ runtime", "no Visual C++ runtime (msvcp140.dll) in " + system +
                                                              ": install the Visual C++ 2015-2022 redistributable (x64), 14.36 or newer",
                                    true));
        else if (version.empty())
            findings.push_back(host("Visual C++ runtime", "the Visual C++ runtime " + runtime +
                                                              " states no version; the system needs 14.36 or newer"));
        else
            findings.push_back(host("Visual C++ runtime", "Visual C++ runtime " + version +
                                                              (at_least(version, 14, 36) ? " (14.36 or newer, as needed)"
                                                                                         : ": older than the 14.36 the system needs"),
                                    !at_least(version, 14, 36)));
    }

    // Made as the system makes it at its first line, then written to.
    const std::string folder = nvr::vantorquadrelv3::log_folder();
    boost::system::error_code ignored;
    boost::filesystem::create_directories(folder, ignored);
    const std::string probe = folder + "kova-check.probe";
    std::FILE* written = std::fopen(probe.c_str(), "wb");
    if (written != nullptr) {
        std::fclose(written);
        std::remove(probe.c_str());
        findings.push_back(host("log folder", "the log folder " + folder + " is writable"));
    } else {
        findings.push_back(host("log folder", "the log folder " + folder +
                                                  " cannot be written: the system will run without its log file"));
    }

    if (!binds) return;
    std::string error;
    void* library = platform::library_load_by_name(system_library, &error);
    if (library == nullptr) {
        findings.push_back(host(system_library, std::string(system_library) + " does not load: " + error, true));
        return;
    }
    auto initialize = reinterpret_cast<decltype(&KovaInitialize_N)>(platform::library_symbol(library, "KovaInitialize_N"));
    auto list = reinterpret_cast<decltype(&KovaGetDeviceList_N)>(platform::library_symbol(library, "KovaGetDeviceList_N"));
    auto terminate = reinterpret_cast<decltype(&KovaTerminate)>(platform::library_symbol(library, "KovaTerminate"));
    if (initialize == nullptr || list == nullptr || terminate == nullptr) {
        findings.push_back(host(system_library, std::string(system_library) + " lacks its Kova functions", true));
        return;
    }
    KovaStatus status = initialize(nullptr, 0, 0);
    if (status != KOVA_OK) {
        findings.push_back(host("scanners", "the system does not initialise: status " + std::to_string(status), true));
        return;
    }
    KovaDeviceEntry entries[16];
    std::uint32_t count = 16;
    status = list(&count, entries);
    if (status == KOVA_DEVICE_UNAVAILABLE || (status == KOVA_OK && count == 0)) {
        findings.push_back(host("scanners", "no scanner attached"));
    } else if (status != KOVA_OK) {
        findings.push_back(host("scanners", "listing the scanners failed: status " + std::to_string(status)));
    } else {
        for (std::uint32_t i = 0; i < count; ++i) {
            const char* id = entries[i].sensor_id;
            const void* end = std::memchr(id, 0, sizeof entries[i].sensor_id);
            findings.push_back(host("scanner", "scanner " + std::string(id, end != nullptr ? static_cast<const char*>(end)
                                                                                             : id + sizeof entries[i].sensor_id)));
        }
    }
    terminate();
}

int usage()
{
    std::fprintf(stderr, "usage: kova-check [--json] [LIBRARY]\n"
                         "  Says whether the system will bind to the device library LIBRARY (a PE %s or an ELF\n"
                         "  libVQUAD.so); with no LIBRARY, to the one the loader takes here, and checks this machine.\n"
                         "  Exits 0 only when the system will bind.\n",
                 "VQUAD.dll");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    bool json = false;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) json = true;
        else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return usage(), 0;
        else if (argv[i][0] == '-' || !path.empty()) return usage();
        else path = argv[i];
    }

    std::vector<Finding> findings;
    const bool on_host = path.empty();
    if (on_host) {
        const std::vector<std::string> candidates = platform::library_candidates(device_library);
        if (candidates.empty()) {
            findings.push_back(host(device_library, std::string("no ") + device_library + " where the loader looks", true));
        } else {
            path = candidates.front();
            findings.push_back(host(device_library, "the loader takes " + path));
            for (std::size_t i = 1; i < candidates.size(); ++i)
                findings.push_back(host(device_library, "also found " + candidates[i] + " (not taken: it comes later)"));
            check_file(path, findings);
        }
    } else {
        check_file(path, findings);
    }
    bool binds = !path.empty();
    for (const Finding& finding : findings) binds = binds && !finding.fatal;
    if (on_host) check_host(findings, binds);
    for (const Finding& finding : findings) binds = binds && !finding.fatal;

    findings.push_back(kova_check::finding("verdict", path,
                                           binds ? "the system will bind to " + path
                                                 : "the system will not bind" + (path.empty() ? std::string() : " to " + path)));
    if (json) {
        std::printf("%s\n", kova_check::as_json(findings, binds).c_str());
    } else {
        for (const Finding& finding : findings) std::printf("%s\n", kova_check::as_text(finding).c_str());
    }
    return binds ? 0 : 1;
}
