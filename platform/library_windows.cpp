// SPDX-License-Identifier: MIT
// Loading another library and finding its members by their exported names, on Windows.
#include "platform/library.h"

#include <windows.h>
#include <sddl.h>

namespace nvr::vantorquadrelv3::platform {

void* library_load(const char* path, std::string* error)
{
    // By full path, with its own folder searched for what it needs. A module's imports bind to the
    // modules it names; its calls to its own functions never leave it.
    HMODULE library = ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library == nullptr && error != nullptr) *error = "error " + std::to_string(::GetLastError());
    return library;
}

void* library_load_by_name(const char* name, std::string* error)
{
    HMODULE library = ::LoadLibraryA(name);
    if (library == nullptr && error != nullptr) {
        const DWORD code = ::GetLastError();
        // 127: the library, or one it imports, lacks an entry point the importer names.
        *error = "error " + std::to_string(code) + (code == ERROR_PROC_NOT_FOUND ? " (an entry point is missing)" : "");
    }
    return library;
}

void* library_symbol(void* library, const char* name)
{
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string exported_name(const void* address)
{
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCSTR>(address), &module))
        return {};
    // The module's export table: the name whose function is at exactly this address.
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0) return {};
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* functions = reinterpret_cast<const DWORD*>(base + exports->AddressOfFunctions);
    const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    const auto* ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
    const auto rva = static_cast<DWORD>(static_cast<const unsigned char*>(address) - base);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        if (ordinals[i] < exports->NumberOfFunctions && functions[ordinals[i]] == rva)
            return reinterpret_cast<const char*>(base + names[i]);
    return {};
}

namespace {

// "D:P(A;;FA;;;S-...)": a protected access list that lets in the process's user alone; empty when
// the user cannot be had.
std::string user_only_access()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    union {
        TOKEN_USER user;
        unsigned char bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } info{};
    DWORD size = 0;
    std::string access;
    char* sid = nullptr;
    if (::GetTokenInformation(token, TokenUser, &info, sizeof info, &size) &&
        ::ConvertSidToStringSidA(info.user.User.Sid, &sid)) {
        access = std::string("D:P(A;;FA;;;") + sid + ")";
        ::LocalFree(sid);
    }
    ::CloseHandle(token);
    return access;
}

} // namespace

bool file_replace_private(const std::string& path, const void* data, std::size_t size)
{
    // Only the user may open it; the folder's default when the system cannot make that so.
    SECURITY_ATTRIBUTES owner_only{sizeof owner_only, nullptr, FALSE};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::string access = user_only_access();
    if (!access.empty() && ::ConvertStringSecurityDescriptorToSecurityDescriptorA(access.c_str(), SDDL_REVISION_1,
                                                                                  &descriptor, nullptr))
        owner_only.lpSecurityDescriptor = descriptor;
    const std::string part = path + ".part";
    HANDLE file = ::CreateFileA(part.c_str(), GENERIC_WRITE, 0, descriptor != nullptr ? &owner_only : nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (descriptor != nullptr) ::LocalFree(descriptor);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool written = true;
    const char* bytes = static_cast<const char*>(data);
    while (written && size > 0) {
        const DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD count = 0;
        written = ::WriteFile(file, bytes, piece, &count, nullptr) != FALSE && count > 0;
        bytes += count;
        size -= count;
    }
    written = ::CloseHandle(file) != FALSE && written;
    if (written && ::MoveFileExA(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    ::DeleteFileA(part.c_str());
    return false;
}

} // namespace nvr::vantorquadrelv3::platform
