#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace torvane::platform {

TDynamicLibrary::TDynamicLibrary(const std::string& path)
    : FHandle(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}

TDynamicLibrary::~TDynamicLibrary() {
    Unload();
}

void TDynamicLibrary::Unload() {
    if (FHandle != nullptr) {
        ::dlclose(FHandle);
        FHandle = nullptr;
    }
}

void* TDynamicLibrary::Symbol(const char* name) const {
    return FHandle != nullptr ? ::dlsym(FHandle, name) : nullptr;
}

} // namespace torvane::platform
