// Preloaded into a program, this counts the heap allocations that the
// program's own code makes: calls to the allocation functions whose return
// address lies in the main executable. Allocations made inside libraries
// (the C library's stdio buffers, the board library) do not count.
// At exit it writes the count to the file named by HEAP_CHECK_LOG.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <link.h>
#include <new>
#include <unistd.h>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
}

namespace {

struct code_range {
    uintptr_t start;
    uintptr_t end;
};

// The executable segments of the main program.
code_range program_code[8];
int program_code_count;
// Allocations made by the program's own code, and where the first came from.
int program_allocations;
uintptr_t first_caller;

int find_program_code(dl_phdr_info *info, size_t, void *)
{
    // The first object is the main program.
    for (int i = 0; i < info->dlpi_phnum && program_code_count < 8; ++i) {
        const ElfW(Phdr) &segment = info->dlpi_phdr[i];
        if (segment.p_type == PT_LOAD && (segment.p_flags & PF_X) != 0)
            program_code[program_code_count++] = {info->dlpi_addr + segment.p_vaddr,
                                                  info->dlpi_addr + segment.p_vaddr +
                                                      segment.p_memsz};
    }
    return 1;
}

void note_caller(void *return_address)
{
    const auto caller = reinterpret_cast<uintptr_t>(return_address);
    for (int i = 0; i < program_code_count; ++i)
        if (caller >= program_code[i].start && caller < program_code[i].end) {
            if (program_allocations++ == 0)
                first_caller = caller - program_code[0].start;
            return;
        }
}

__attribute__((constructor)) void start_counting() { dl_iterate_phdr(find_program_code, nullptr); }

__attribute__((destructor)) void report_count()
{
    const char *path = getenv("HEAP_CHECK_LOG");
    if (path == nullptr)
        return;
    const int log = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log < 0)
        return;
    dprintf(log, "program allocations %d first at +0x%lx\n", program_allocations,
            static_cast<unsigned long>(first_caller));
    close(log);
}

} // namespace

extern "C" {

void *malloc(size_t size)
{
    note_caller(__builtin_return_address(0));
    return __libc_malloc(size);
}

void *calloc(size_t count, size_t size)
{
    note_caller(__builtin_return_address(0));
    return __libc_calloc(count, size);
}

void *realloc(void *pointer, size_t size)
{
    note_caller(__builtin_return_address(0));
    return __libc_realloc(pointer, size);
}

char *strdup(const char *text)
{
    note_caller(__builtin_return_address(0));
    const size_t size = strlen(text) + 1;
    char *copy = static_cast<char *>(__libc_malloc(size));
    return copy != nullptr ? static_cast<char *>(memcpy(copy, text, size)) : nullptr;
}
}

void *operator new(size_t size)
{
    note_caller(__builtin_return_address(0));
    void *memory = __libc_malloc(size != 0 ? size : 1);
    if (memory == nullptr)
        throw std::bad_alloc();
    return memory;
}

void *operator new[](size_t size)
{
    note_caller(__builtin_return_address(0));
    void *memory = __libc_malloc(size != 0 ? size : 1);
    if (memory == nullptr)
        throw std::bad_alloc();
    return memory;
}

void *operator new(size_t size, const std::nothrow_t &) noexcept
{
    note_caller(__builtin_return_address(0));
    return __libc_malloc(size != 0 ? size : 1);
}
