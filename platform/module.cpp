#include "platform/module.h"
#include "platform/resources.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <map>

namespace tvk {

namespace {

struct LoadedModule {
    void* dlHandle = nullptr;
    std::string path;
};

// Modules opened through loadLibrary, by their load address.
std::map<ModuleHandle, LoadedModule>& loadedModules() {
    static std::map<ModuleHandle, LoadedModule> modules;
    return modules;
}

void* openLibrary(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    const std::string beside = programFolder() + "/" + name;
    if (access(beside.c_str(), F_OK) == 0) {
        if (void* handle = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL))
            return handle;
    }
    return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

} // namespace

std::string programFolder() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return ".";
    std::string path(buffer, static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

ModuleHandle loadLibrary(const std::string& name) {
    void* dlHandle = openLibrary(name);
    if (!dlHandle)
        return nullptr;
    link_map* map = nullptr;
    if (dlinfo(dlHandle, RTLD_DI_LINKMAP, &map) != 0 || !map) {
        dlclose(dlHandle);
        return nullptr;
    }
    const auto handle = reinterpret_cast<ModuleHandle>(map->l_addr);
    auto& modules = loadedModules();
    auto found = modules.find(handle);
    if (found != modules.end()) {
        // Loaded twice: dlopen counted the reference; keep one entry and drop the extra count.
        dlclose(dlHandle);
        return handle;
    }
    modules.emplace(handle, LoadedModule{dlHandle, map->l_name ? map->l_name : name});
    return handle;
}

void* getProcAddress(ModuleHandle module, const char* symbol) {
    auto found = loadedModules().find(module);
    if (found == loadedModules().end())
        return nullptr;
    return dlsym(found->second.dlHandle, symbol);
}

void freeLibrary(ModuleHandle module) {
    auto found = loadedModules().find(module);
    if (found == loadedModules().end())
        return;
    forgetModuleResources(module);
    dlclose(found->second.dlHandle);
    loadedModules().erase(found);
}

std::string moduleFileName(ModuleHandle module) {
    auto found = loadedModules().find(module);
    return found == loadedModules().end() ? std::string() : found->second.path;
}

} // namespace tvk
