#pragma once
// A shared library loaded at run time (dlopen), owned: unloaded by the destructor.

#include <string>

namespace torvane::platform {

class TDynamicLibrary {
public:
    TDynamicLibrary() = default;
    // Loads the library at path with all its symbols bound at once and kept to itself
    // (RTLD_NOW | RTLD_LOCAL); not loaded when it cannot be.
    explicit TDynamicLibrary(const std::string& path);
    ~TDynamicLibrary();
    TDynamicLibrary(const TDynamicLibrary&) = delete;
    TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

    [[nodiscard]] bool Loaded() const { return FHandle != nullptr; }
    // The address of an exported function, cast to its type; none when the library is not
    // loaded or does not export it.
    template <typename TFn> [[nodiscard]] TFn Function(const char* name) const {
        return reinterpret_cast<TFn>(Symbol(name));
    }
    // Unloads the library now (the destructor does it otherwise).
    void Unload();

private:
    [[nodiscard]] void* Symbol(const char* name) const;

    void* FHandle = nullptr;
};

} // namespace torvane::platform
