// SPDX-License-Identifier: MIT
// The device library's exports against the members the system imports, in the library's own ABI.
#include "tools/check/binding_check.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <set>
#include <utility>

#include "devicelib/TFTManager.h"

namespace kova_check {

namespace {

// The lists devicelib/imports-*.txt hold (the build checks them against what it imports).
#include "kova_check_members.inc"

std::string lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string unqualified(const std::string& member)
{
    const std::size_t colons = member.rfind("::");
    return colons == std::string::npos ? member : member.substr(colons + 2);
}

std::string joined(const std::vector<std::string>& arguments)
{
    std::string text;
    for (const std::string& argument : arguments) text += (text.empty() ? "" : ", ") + argument;
    return text;
}

// The module's C++ runtime: a debug or a statically linked one cannot share strings, vectors and
// the heap with the system's.
Finding runtime_of(const ModuleImage& image)
{
    std::vector<std::string> runtime;
    for (const std::string& needed : image.needed) {
        const std::string name = lower(needed);
        if (image.format == ModuleImage::Format::pe) {
            if (name == "msvcp140d.dll" || name == "vcruntime140d.dll" || name == "ucrtbased.dll")
                return finding("refused", needed,
                               "the library uses the debug C++ runtime (" + needed +
                                   "): its string and vector layouts, and its heap, differ from the release "
                                   "runtime's that the system uses",
                               true);
            if (name.rfind("msvcp140", 0) == 0 || name.rfind("vcruntime140", 0) == 0) runtime.push_back(needed);
        } else if (name.rfind("libstdc++.so", 0) == 0 || name.rfind("libc++.so", 0) == 0) {
            runtime.push_back(needed);
        }
    }
    if (runtime.empty()) {
        if (image.format == ModuleImage::Format::elf)
            return finding("runtime", "C++ runtime", "no shared C++ runtime needed (libstdc++ linked in, or none)");
        return finding("refused", "C++ runtime",
                       "the library links its C++ runtime statically (it imports no vcruntime140.dll): its heap, "
                       "and the strings and vectors made on it, are not the system's",
                       true);
    }
    return finding("runtime", "C++ runtime",
                   joined(runtime) + (image.format == ModuleImage::Format::pe ? " (release, shared with the system)"
                                                                             : " (shared with the system)"));
}

} // namespace

Finding finding(std::string kind, std::string subject, std::string text, bool fatal)
{
    Finding made;
    made.kind = std::move(kind);
    made.subject = std::move(subject);
    made.text = std::move(text);
    made.fatal = fatal;
    return made;
}

const std::vector<std::string>& imported_members_msvc()
{
    static const std::vector<std::string> members(std::begin(msvc_members), std::end(msvc_members));
    return members;
}

const std::vector<std::string>& imported_members_itanium()
{
    static const std::vector<std::string> members(std::begin(itanium_members), std::end(itanium_members));
    return members;
}

Signature split_signature(const std::string& demangled)
{
    Signature signature;
    int angle = 0;
    std::size_t open = std::string::npos;
    for (std::size_t i = 0; i < demangled.size() && open == std::string::npos; ++i) {
        const char c = demangled[i];
        if (c == '<') ++angle;
        else if (c == '>') --angle;
        else if (c == '(' && angle == 0) open = i;
    }
    const std::string head = demangled.substr(0, open);
    // The member is the last word of the head outside template arguments.
    angle = 0;
    std::size_t word = 0;
    for (std::size_t i = 0; i < head.size(); ++i) {
        if (head[i] == '<') ++angle;
        else if (head[i] == '>') --angle;
        else if (head[i] == ' ' && angle == 0 && i + 1 < head.size()) word = i + 1;
    }
    signature.member = trim(head.substr(word));
    signature.before = trim(head.substr(0, word));
    if (open == std::string::npos) return signature;

    int depth = 0;
    angle = 0;
    std::string argument;
    std::size_t close = demangled.size();
    for (std::size_t i = open + 1; i < demangled.size(); ++i) {
        const char c = demangled[i];
        if (c == '<') ++angle;
        else if (c == '>') --angle;
        else if (c == '(') ++depth;
        else if (c == ')' && depth-- == 0) {
            close = i;
            break;
        }
        if (c == ',' && depth == 0 && angle == 0) {
            signature.arguments.push_back(trim(argument));
            argument.clear();
        } else {
            argument += c;
        }
    }
    argument = trim(argument);
    if (!argument.empty() && !(signature.arguments.empty() && argument == "void")) signature.arguments.push_back(argument);
    if (close < demangled.size()) signature.after = trim(demangled.substr(close + 1));
    return signature;
}

std::string first_difference(const Signature& library, const Signature& system)
{
    const std::string name = unqualified(system.member);
    if (library.arguments.size() != system.arguments.size())
        return name + ": the library's takes " + std::to_string(library.arguments.size()) + " arguments (`" +
               joined(library.arguments) + "`), the system passes " + std::to_string(system.arguments.size()) +
               " (`" + joined(system.arguments) + "`)";
    for (std::size_t i = 0; i < system.arguments.size(); ++i)
        if (library.arguments[i] != system.arguments[i])
            return name + ": the library's takes `" + library.arguments[i] + "`, the system passes `" +
                   system.arguments[i] + "`" +
                   (system.arguments.size() > 1 ? " (argument " + std::to_string(i + 1) + ")" : "");
    if (library.after != system.after)
        return name + ": the library's is declared `" + (library.after.empty() ? "(nothing)" : library.after) +
               "` after its arguments, the system's `" + (system.after.empty() ? "(nothing)" : system.after) + "`";
    if (library.before != system.before)
        return name + ": the library's is `" + library.before + "`, the system's `" + system.before + "`";
    return name + ": the decorations differ where the readable signatures agree";
}

std::vector<Finding> check_device_library(const std::string& path, const ModuleImage& image, Demangler demangle)
{
    std::vector<Finding> findings;
    const bool pe = image.format == ModuleImage::Format::pe;
    findings.push_back(finding("module", path,
                               path + ": " + (pe ? "PE" : "ELF") + ", " + machine_name(image) + ", " +
                                   std::to_string(image.exports.size()) + " exports"));
    if (!machine_supported(image)) {
        findings.push_back(finding("refused", path,
                                   "the library is built for " + machine_name(image) +
                                       "; the system is a 64-bit x86 library and loads only one built for " +
                                       (pe ? "x64" : "x86-64"),
                                   true));
        return findings;
    }
    findings.push_back(runtime_of(image));
    findings.push_back(finding("layout", "sizes",
                               "the system makes TFT_ImageClass objects of " +
                                   std::to_string(Celdra::TFTManager::image_class_size) +
                                   " bytes and reads TFTSensorClass vectors of " +
                                   std::to_string(Celdra::TFTManager::sensor_class_size) +
                                   "-byte elements (devicelib/TFTManager.h); the maker's header must state the same sizes"));

    const std::set<std::string> exported(image.exports.begin(), image.exports.end());
    // Every export read as a signature once, for the nearest match of a missing member.
    std::vector<std::pair<Signature, std::string>> readable;
    for (const std::string& name : image.exports) {
        std::string text = demangle(name);
        readable.emplace_back(split_signature(text), std::move(text));
    }
    for (const std::string& member : pe ? imported_members_msvc() : imported_members_itanium()) {
        const std::string system_text = demangle(member);
        const Signature system = split_signature(system_text);
        if (exported.count(member) != 0) {
            findings.push_back(finding("exported", system.member, system.member));
            continue;
        }
        // The nearest export of the same member: the one with the most arguments alike.
        const std::pair<Signature, std::string>* nearest = nullptr;
        std::size_t best = 0;
        for (const auto& candidate : readable) {
            if (candidate.first.member != system.member) continue;
            std::size_t alike = 0;
            for (std::size_t i = 0; i < candidate.first.arguments.size() && i < system.arguments.size(); ++i)
                alike += candidate.first.arguments[i] == system.arguments[i];
            if (nearest == nullptr || alike > best) {
                nearest = &candidate;
                best = alike;
            }
        }
        Finding missing = finding("missing", system.member,
                                  nearest != nullptr ? first_difference(nearest->first, system)
                                                     : unqualified(system.member) + ": the library exports no member of this name",
                                  true);
        missing.system_signature = system_text;
        if (nearest != nullptr) missing.library_signature = nearest->second;
        findings.push_back(std::move(missing));
    }
    return findings;
}

std::string as_text(const Finding& finding)
{
    std::string line = finding.kind + ": " + finding.text;
    if (!finding.library_signature.empty()) line += "\n    the library's: " + finding.library_signature;
    if (!finding.system_signature.empty()) line += "\n    the system's:  " + finding.system_signature;
    return line;
}

std::string as_json(const std::vector<Finding>& findings, bool binds)
{
    nlohmann::json list = nlohmann::json::array();
    for (const Finding& finding : findings) {
        nlohmann::json entry = {{"kind", finding.kind}, {"subject", finding.subject}, {"text", finding.text},
                                {"fatal", finding.fatal}};
        if (!finding.library_signature.empty()) entry["library_signature"] = finding.library_signature;
        if (!finding.system_signature.empty()) entry["system_signature"] = finding.system_signature;
        list.push_back(std::move(entry));
    }
    // Names from a file may hold any bytes: replace what is not UTF-8 rather than throw.
    return nlohmann::json{{"binds", binds}, {"findings", list}}.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace kova_check
