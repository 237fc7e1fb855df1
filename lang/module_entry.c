/* Entry of a language module: the module holds resources and these two functions only. */
#define _GNU_SOURCE
#include <link.h>
#include <stdint.h>

#define EXPORT __attribute__((visibility("default")))

static void* langInstance;

/* Stores the instance handle on process attach (reason 1); succeeds for every reason. */
EXPORT int LibMain(void* instance, unsigned long reason, void* reserved) {
    (void)reserved;
    if (reason == 1)
        langInstance = instance;
    return 1;
}

/* The handle LibMain was given on attach; null before. */
EXPORT void* getLangInstance(void) { return langInstance; }

static void attachModule(void);

/* Finds the loaded object that holds attachModule and reports its load address. */
static int findSelf(struct dl_phdr_info* info, size_t size, void* data) {
    (void)size;
    const uintptr_t self = (uintptr_t)&attachModule;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)* segment = &info->dlpi_phdr[i];
        const uintptr_t start = info->dlpi_addr + segment->p_vaddr;
        if (segment->p_type == PT_LOAD && self >= start && self < start + segment->p_memsz) {
            *(uintptr_t*)data = info->dlpi_addr;
            return 1;
        }
    }
    return 0;
}

/* The loader's attach: the handle is the module's load address, the same value the
   program's loader returns for this module. */
__attribute__((constructor)) static void attachModule(void) {
    uintptr_t base = 0;
    if (dl_iterate_phdr(findSelf, &base))
        LibMain((void*)base, 1, 0);
}
