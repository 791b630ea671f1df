// What the C++ run-time asks of the C library beyond musl, for the stub's static link.
//
// The stub links GCC's static C++ library and unwinder, which were built for glibc, against musl. The
// parts it pulls in (allocation, exceptions, type information, strings, hash tables, the random
// device) call standard C functions that musl provides with the same interface; these are the glibc
// names among them that musl lacks. Each one behaves as the glibc original does in a static program.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

extern "C" {

// Whether the process has one thread: while glibc sets it, reference counts and static
// initialisation guards skip their atomic operations. Left clear, they always use them, which is right
// whatever threads the program starts.
__attribute__((weak)) char __libc_single_threaded = 0;

// glibc's layout of the record below, for x86-64.
struct dl_find_object {
    unsigned long long dlfo_flags;
    void* dlfo_map_start;
    void* dlfo_map_end;
    struct link_map* dlfo_link_map;
    void* dlfo_eh_frame;
    unsigned long long dlfo_reserved[7];
};

namespace {

struct FindObject {
    uintptr_t Address;
    dl_find_object* Result;
    bool Found;
};

int FindObjectOfAddress(dl_phdr_info* info, size_t, void* data) {
    FindObject& find = *static_cast<FindObject*>(data);
    const ElfW(Phdr)* segment = nullptr;
    const ElfW(Phdr)* frames = nullptr;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& h = info->dlpi_phdr[i];
        const uintptr_t start = info->dlpi_addr + h.p_vaddr;
        if (h.p_type == PT_LOAD && find.Address >= start && find.Address - start < h.p_memsz) segment = &h;
        else if (h.p_type == PT_GNU_EH_FRAME) frames = &h;
    }
    if (!segment) return 0;
    find.Result->dlfo_flags = 0;
    find.Result->dlfo_map_start = reinterpret_cast<void*>(info->dlpi_addr + segment->p_vaddr);
    find.Result->dlfo_map_end = reinterpret_cast<void*>(info->dlpi_addr + segment->p_vaddr + segment->p_memsz);
    find.Result->dlfo_link_map = nullptr;
    find.Result->dlfo_eh_frame = frames ? reinterpret_cast<void*>(info->dlpi_addr + frames->p_vaddr) : nullptr;
    find.Found = true;
    return 1;
}

}  // namespace

// The unwinder's question while an exception travels: which loaded object holds this code address,
// and where are its unwinding tables (the segment the link's --eh-frame-hdr makes)? 0 when found.
__attribute__((weak)) int _dl_find_object(void* address, dl_find_object* result) {
    FindObject find{reinterpret_cast<uintptr_t>(address), result, false};
    dl_iterate_phdr(FindObjectOfAddress, &find);
    return find.Found ? 0 : -1;
}

// The random device's last source before /dev/urandom, reached only when the kernel has no getrandom
// call (getentropy failed). It must not fail: the stub seeds its name hashing with it.
__attribute__((weak)) uint32_t arc4random() {
    uint32_t value = 0;
    if (getentropy(&value, sizeof value) == 0) return value;
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const ssize_t n = read(fd, &value, sizeof value);
        close(fd);
        if (n == sizeof value) return value;
    }
    // No source of entropy at all: the clock and where the stack lies, which differ from run to run.
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t mix = uint64_t(now.tv_nsec) ^ (uint64_t(now.tv_sec) << 32) ^ reinterpret_cast<uintptr_t>(&now);
    mix *= 0x9E3779B97F4A7C15ull;
    return uint32_t(mix >> 32);
}

// The C++ library looks its exception texts up for translation. The stub has no message catalogues,
// so each text stands as it is, which spares musl's catalogue reader and its number formatting.
__attribute__((weak)) char* gettext(const char* text) { return const_cast<char*>(text); }

}  // extern "C"

namespace __gnu_cxx {

// The C++ library's own handler names the uncaught exception's type, which takes the whole symbol
// demangler (about a fifth of the stub). The stub reports every failure itself, so reaching here is a
// fault of the program: say so briefly and end.
void __verbose_terminate_handler() {
    static const char text[] = "terminate called: unhandled exception\n";
    (void)!write(STDERR_FILENO, text, sizeof text - 1);
    std::abort();
}

}  // namespace __gnu_cxx
