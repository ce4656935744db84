// SPDX-License-Identifier: MIT
// The field tool's questions on Windows: dbghelp's undecorator, the loader's search order for a DLL
// an application loads by name, and version resources.
#include "platform/host.h"

#include <windows.h>
#include <dbghelp.h>

#include <cstdlib>
#include <vector>

#if !defined(UNDNAME_NO_PTR64)
#define UNDNAME_NO_PTR64 0x20000
#endif

namespace nvr::vantorquadrelv3::platform {

std::string demangle(const std::string& decorated)
{
    char readable[4096];
    // dbghelp is not safe from two threads at once; the tool asks from one.
    if (decorated.empty() || decorated[0] != '?' ||
        ::UnDecorateSymbolName(decorated.c_str(), readable, sizeof readable, UNDNAME_COMPLETE | UNDNAME_NO_PTR64) == 0)
        return decorated;
    // (Wine's undecorator ignores UNDNAME_NO_PTR64.)
    std::string text(readable);
    for (std::size_t at; (at = text.find(" __ptr64")) != std::string::npos;) text.erase(at, 8);
    return text;
}

namespace {
std::string folder_of(const char* file)
{
    const std::string path(file);
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool is_file(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
} // namespace

std::vector<std::string> library_candidates(const char* name)
{
    // The standard search order with safe DLL search mode (the default): the application's folder,
    // System32, the 16-bit system folder, the Windows folder, the current folder, then PATH.
    std::vector<std::string> folders;
    char buffer[MAX_PATH];
    if (::GetModuleFileNameA(nullptr, buffer, MAX_PATH) - 1u < MAX_PATH - 1u) folders.push_back(folder_of(buffer));
    if (::GetSystemDirectoryA(buffer, MAX_PATH) - 1u < MAX_PATH - 1u) folders.emplace_back(buffer);
    if (::GetWindowsDirectoryA(buffer, MAX_PATH) - 1u < MAX_PATH - 1u) {
        folders.push_back(std::string(buffer) + "\\System");
        folders.emplace_back(buffer);
    }
    if (::GetCurrentDirectoryA(MAX_PATH, buffer) - 1u < MAX_PATH - 1u) folders.emplace_back(buffer);
    std::vector<char> path(32768);
    const DWORD length = ::GetEnvironmentVariableA("PATH", path.data(), static_cast<DWORD>(path.size()));
    if (length > 0 && length < path.size()) {
        std::string entries(path.data(), length);
        for (std::size_t start = 0; start <= entries.size();) {
            const std::size_t end = entries.find(';', start);
            const std::string entry = entries.substr(start, end == std::string::npos ? std::string::npos : end - start);
            if (!entry.empty()) folders.push_back(entry);
            if (end == std::string::npos) break;
            start = end + 1;
        }
    }
    std::vector<std::string> found;
    for (const std::string& folder : folders) {
        const std::string candidate = folder + "\\" + name;
        bool seen = false;
        for (const std::string& earlier : found) seen = seen || ::lstrcmpiA(earlier.c_str(), candidate.c_str()) == 0;
        if (!seen && is_file(candidate)) found.push_back(candidate);
    }
    return found;
}

std::string system_folder()
{
    char buffer[MAX_PATH];
    const UINT length = ::GetSystemDirectoryA(buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

std::string file_version(const std::string& path)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT info_size = 0;
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &info_size) || info == nullptr ||
        info_size < sizeof *info)
        return {};
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." + std::to_string(LOWORD(info->dwFileVersionLS));
}

} // namespace nvr::vantorquadrelv3::platform
