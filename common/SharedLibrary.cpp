#include "common/SharedLibrary.h"

#include <dlfcn.h>

namespace halvix {

bool SharedLibrary::open(const char* soname, std::string& problem) {
    m_soname = soname;
    m_handle = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = ::dlerror();
        problem = "无法载入系统库 " + m_soname + (why ? std::string(": ") + why : std::string());
    }
    return m_handle != nullptr;
}

void* SharedLibrary::lookUp(const char* name, std::string& problem) {
    void* symbol = m_handle ? ::dlsym(m_handle, name) : nullptr;
    if (!symbol)
        problem = "系统库 " + m_soname + " 缺少 " + name + " (版本不符?)";
    return symbol;
}

} // namespace halvix
