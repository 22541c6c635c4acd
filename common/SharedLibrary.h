#pragma once

#include <cstdint>
#include <string>

namespace halvix {

// A system library opened when it is first needed rather than at start-up: what only some
// programs use (the campus's broker client and its TLS) then costs nothing to the others. Opened
// once per process and never closed; its functions are looked up by name.
class SharedLibrary {
public:
    // Opens `soname` (e.g. "libmosquitto.so.1"); false with `problem` (Chinese) when it cannot.
    bool open(const char* soname, std::string& problem);

    // Sets `function` to the library's `name`; false with `problem` when the library lacks it.
    template <class Function> bool resolve(const char* name, Function& function, std::string& problem) {
        void* symbol = lookUp(name, problem);
        // POSIX guarantees a function's address survives the trip through void*.
        function = reinterpret_cast<Function>(reinterpret_cast<std::uintptr_t>(symbol));
        return symbol != nullptr;
    }

private:
    void* lookUp(const char* name, std::string& problem);

    void* m_handle = nullptr;
    std::string m_soname;
};

} // namespace halvix
