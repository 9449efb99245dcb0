// heap_count.cpp: the program's own heap, counted by replacing the global operator new and
// delete. Mesa's renderer links the C++ runtime as well (its GLSL compiler, and LLVM, which
// llvmpipe compiles its shaders with), so its blocks come here too; a block is the program's when
// the code that asked for it lies in the program's text, or in the C++ runtime called from there
// (std::string's members, say, are compiled into the runtime, not into their callers).
#include "tools/soak/heap_count.h"

#include <link.h>
#include <malloc.h>
#include <unwind.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORBEL_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QUORBEL_ASAN 1
#endif
#ifdef QUORBEL_ASAN
// AddressSanitizer's own count (its allocator is not glibc's, so mallinfo2 knows nothing of it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

constinit std::atomic<size_t> ownBytes{0};

struct Span {
    uintptr_t begin = UINTPTR_MAX, end = 0;
    bool holds(uintptr_t address) const { return address >= begin && address < end; }
};

// Where the program's machine code lies, and the C++ runtime's.
struct Code {
    Span program, runtime;
    bool seenProgram = false;
};

int findCode(dl_phdr_info* info, size_t, void* data) {
    Code& code = *static_cast<Code*>(data);
    // The loader lists the program first.
    Span* span = !code.seenProgram ? &code.program
                 : std::strstr(info->dlpi_name, "libstdc++.so") != nullptr ? &code.runtime
                                                                            : nullptr;
    code.seenProgram = true;
    for (int i = 0; span != nullptr && i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || (segment.p_flags & PF_X) == 0) continue;
        span->begin = std::min<uintptr_t>(span->begin, info->dlpi_addr + segment.p_vaddr);
        span->end = std::max<uintptr_t>(span->end, info->dlpi_addr + segment.p_vaddr + segment.p_memsz);
    }
    return 0;
}

const Code& code() {
    static const Code found = [] {
        Code code;
        dl_iterate_phdr(findCode, &code);
        return code;
    }();
    return found;
}
// Found before main, while one thread runs: a first finding inside a later dlopen could wait on
// the loader's lock.
[[maybe_unused]] const Code& foundEarly = code();

// Up the stack past the runtime's frames: whose code called it.
struct Walk {
    bool inRuntime = false;
    bool program = false;
    int frames = 0;
};

_Unwind_Reason_Code walkFrame(_Unwind_Context* context, void* data) {
    Walk& walk = *static_cast<Walk*>(data);
    const uintptr_t at = _Unwind_GetIP(context) - 1;
    const bool runtime = code().runtime.holds(at);
    if (walk.inRuntime && !runtime) {
        walk.program = code().program.holds(at);
        return _URC_END_OF_STACK;
    }
    walk.inRuntime = walk.inRuntime || runtime;
    return ++walk.frames < 64 ? _URC_NO_REASON : _URC_END_OF_STACK;
}

bool askedByProgram(const void* returnAddress) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(returnAddress) - 1;
    if (code().program.holds(at)) return true;
    if (!code().runtime.holds(at)) return false;
    Walk walk;
    _Unwind_Backtrace(walkFrame, &walk);
    return walk.program;
}

// Before each block: what delete needs, and what it checks as AddressSanitizer's own operators
// would have (these replace them).
struct alignas(__STDCPP_DEFAULT_NEW_ALIGNMENT__) Header {
    size_t size;
    uint32_t front;  // from the start of the allocation to the block
    bool own;
    bool array;
};

enum class Form : bool { Single, Array };
constexpr size_t unsized = SIZE_MAX;

void* allocate(size_t size, size_t alignment, Form form, const void* returnAddress) {
    const size_t front = std::max(alignment, sizeof(Header));
    if (size > SIZE_MAX - front) return nullptr;
    void* start = nullptr;
    if (alignment <= __STDCPP_DEFAULT_NEW_ALIGNMENT__) start = std::malloc(front + size);
    else if (posix_memalign(&start, alignment, front + size) != 0) start = nullptr;
    if (start == nullptr) return nullptr;
    char* block = static_cast<char*>(start) + front;
    const bool own = askedByProgram(returnAddress);
    new (reinterpret_cast<Header*>(block) - 1) Header{size, static_cast<uint32_t>(front), own, form == Form::Array};
    if (own) ownBytes.fetch_add(size, std::memory_order_relaxed);
    return block;
}

void* allocateOrThrow(size_t size, size_t alignment, Form form, const void* returnAddress) {
    void* block = allocate(size, alignment, form, returnAddress);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void release(void* block, Form form, size_t size) {
    if (block == nullptr) return;
    const Header& header = *(static_cast<Header*>(block) - 1);
    if (header.array != (form == Form::Array) || (size != unsized && size != header.size)) {
        std::fprintf(stderr, "quorbel-soak: %s of %zu bytes frees a block of %zu made by %s\n",
                     form == Form::Array ? "delete[]" : "delete", size == unsized ? header.size : size, header.size,
                     header.array ? "new[]" : "new");
        std::abort();
    }
    if (header.own) ownBytes.fetch_sub(header.size, std::memory_order_relaxed);
    std::free(static_cast<char*>(block) - header.front);
}

}  // namespace

size_t ownHeapBytes() { return ownBytes.load(std::memory_order_relaxed); }

size_t wholeHeapBytes() {
#ifdef QUORBEL_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// Each takes its own caller's address: one forwarding to another would name this file instead.
#define QUORBEL_CALLER __builtin_return_address(0)
void* operator new(size_t size) { return allocateOrThrow(size, 0, Form::Single, QUORBEL_CALLER); }
void* operator new[](size_t size) { return allocateOrThrow(size, 0, Form::Array, QUORBEL_CALLER); }
void* operator new(size_t size, std::align_val_t alignment) {
    return allocateOrThrow(size, size_t(alignment), Form::Single, QUORBEL_CALLER);
}
void* operator new[](size_t size, std::align_val_t alignment) {
    return allocateOrThrow(size, size_t(alignment), Form::Array, QUORBEL_CALLER);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0, Form::Single, QUORBEL_CALLER); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0, Form::Array, QUORBEL_CALLER); }
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocate(size, size_t(alignment), Form::Single, QUORBEL_CALLER);
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocate(size, size_t(alignment), Form::Array, QUORBEL_CALLER);
}

void operator delete(void* block) noexcept { release(block, Form::Single, unsized); }
void operator delete[](void* block) noexcept { release(block, Form::Array, unsized); }
void operator delete(void* block, size_t size) noexcept { release(block, Form::Single, size); }
void operator delete[](void* block, size_t size) noexcept { release(block, Form::Array, size); }
void operator delete(void* block, std::align_val_t) noexcept { release(block, Form::Single, unsized); }
void operator delete[](void* block, std::align_val_t) noexcept { release(block, Form::Array, unsized); }
void operator delete(void* block, size_t size, std::align_val_t) noexcept { release(block, Form::Single, size); }
void operator delete[](void* block, size_t size, std::align_val_t) noexcept { release(block, Form::Array, size); }
void operator delete(void* block, const std::nothrow_t&) noexcept { release(block, Form::Single, unsized); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { release(block, Form::Array, unsized); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    release(block, Form::Single, unsized);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    release(block, Form::Array, unsized);
}
