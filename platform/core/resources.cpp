// The program's module, its linked resources and the millisecond clock.
//
// A native executable has no resource section: the program links a table of
// resources (platform/api/linked_resources.h), and the module handle of the
// program stands for that table. A resource handle is the entry's position
// plus one; a loaded resource is simply the address of its bytes, which are
// read-only and live as long as the program.
#include <cstdlib>

#include "platform/api/linked_resources.h"
#include "platform/core/internal.h"

namespace platform {

namespace {

// The conventional load address of an executable image; any non-null value
// would do.
HMODULE const ProgramModule = reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x400000));

bool IsProgram(HMODULE module) {
    return module == nullptr || module == ProgramModule;
}

// Integer names travel in the pointer; "#106" is the same name as text.
bool ResourceNumber(LPCSTR name, unsigned& number) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(name);
    if (value < 0x10000) {
        number = static_cast<unsigned>(value);
        return value != 0;
    }
    if (name[0] != '#' || name[1] < '0' || name[1] > '9') {
        return false;
    }
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(name + 1, &end, 10);
    number = static_cast<unsigned>(parsed);
    return *end == '\0' && parsed > 0 && parsed < 0x10000;
}

const LinkedResource* Entry(HRSRC resource) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(resource);
    if (value == 0 || value > LinkedResourceCount) {
        return nullptr;
    }
    return &LinkedResources[value - 1];
}

// Reports an integer name as a number and any other as text.
CallReport& Name(CallReport& report, const char* key, LPCSTR name) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(name);
    return value < 0x10000 ? report.Int(key, static_cast<long long>(value)) : report.Text(key, name);
}

}  // namespace

}  // namespace platform

using platform::CallReport;

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    const auto result = CallReport("GetModuleHandleA").Text("name", moduleName).Intercept();
    if (result) {
        return reinterpret_cast<HMODULE>(static_cast<std::intptr_t>(*result));
    }
    // Only the program itself is loaded.
    return moduleName == nullptr ? platform::ProgramModule : nullptr;
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    CallReport report("FindResourceA");
    report.Handle("module", module);
    platform::Name(report, "name", name);
    platform::Name(report, "type", type);
    if (const auto result = report.Intercept()) {
        return reinterpret_cast<HRSRC>(static_cast<std::intptr_t>(*result));
    }
    unsigned id = 0;
    unsigned kind = 0;
    if (!platform::IsProgram(module) || !platform::ResourceNumber(name, id) ||
        !platform::ResourceNumber(type, kind)) {
        return nullptr;
    }
    for (std::size_t i = 0; i < LinkedResourceCount; ++i) {
        if (LinkedResources[i].type == kind && LinkedResources[i].id == id) {
            return reinterpret_cast<HRSRC>(static_cast<std::uintptr_t>(i + 1));
        }
    }
    return nullptr;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    const auto result =
        CallReport("LoadResource").Handle("module", module).Handle("resource", resource).Intercept();
    if (result) {
        return reinterpret_cast<HGLOBAL>(static_cast<std::intptr_t>(*result));
    }
    const LinkedResource* entry = platform::Entry(resource);
    if (!platform::IsProgram(module) || entry == nullptr) {
        return nullptr;
    }
    // The bytes are never written through this pointer: LockResource's
    // callers read the block in place.
    return const_cast<unsigned char*>(entry->data);
}

LPVOID LockResource(HGLOBAL loaded) {
    const auto result = CallReport("LockResource").Intercept();
    if (result) {
        return reinterpret_cast<LPVOID>(static_cast<std::intptr_t>(*result));
    }
    return loaded;
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    const auto result = CallReport("SizeofResource")
                            .Handle("module", module)
                            .Handle("resource", resource)
                            .Intercept();
    if (result) {
        return static_cast<DWORD>(*result);
    }
    const LinkedResource* entry = platform::Entry(resource);
    if (!platform::IsProgram(module) || entry == nullptr) {
        return 0;
    }
    return static_cast<DWORD>(entry->size);
}

DWORD timeGetTime() {
    const auto result = CallReport("timeGetTime").Intercept();
    if (result) {
        return static_cast<DWORD>(*result);
    }
    return platform::ActiveBackend().Milliseconds();
}
