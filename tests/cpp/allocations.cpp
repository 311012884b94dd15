// No facade method but from_json and to_json touches the heap: each runs 10^6 times on random
// inputs, success and failure paths alike, under a global operator new and malloc that count.
// Prints one line per method, "<method> <calls> <allocations>", and fails on any allocation.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "tests/cpp/facade_calls.h"

// glibc's own allocator, under the names it keeps beside the replaceable ones.
// NOLINTBEGIN(bugprone-reserved-identifier): glibc's names, declared as glibc spells them
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}
// NOLINTEND(bugprone-reserved-identifier)

namespace {

std::size_t allocations = 0;

void* counted(void* pointer) {
    ++allocations;
    return pointer;
}

void* checked(void* pointer) {
    if (pointer == nullptr) throw std::bad_alloc();
    return pointer;
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) { return counted(__libc_malloc(size)); }
void* calloc(std::size_t count, std::size_t size) { return counted(__libc_calloc(count, size)); }
void* realloc(void* pointer, std::size_t size) { return counted(__libc_realloc(pointer, size)); }
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    return counted(__libc_memalign(alignment, size));
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    *out = counted(__libc_memalign(alignment, size));
    return *out == nullptr ? 12 /* ENOMEM */ : 0;
}
void free(void* pointer) { __libc_free(pointer); }
}

void* operator new(std::size_t size) { return checked(counted(__libc_malloc(size))); }
void* operator new[](std::size_t size) { return checked(counted(__libc_malloc(size))); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    return checked(counted(__libc_memalign(static_cast<std::size_t>(alignment), size)));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return checked(counted(__libc_memalign(static_cast<std::size_t>(alignment), size)));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return counted(__libc_malloc(size));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return counted(__libc_malloc(size));
}
void operator delete(void* pointer) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, std::align_val_t) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer, std::align_val_t) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, std::size_t, std::align_val_t) noexcept {
    __libc_free(pointer);
}
void operator delete[](void* pointer, std::size_t, std::align_val_t) noexcept {
    __libc_free(pointer);
}

namespace {

using namespace torso::facade_calls;

constexpr std::size_t kCalls = 1'000'000;

std::size_t allocations_of(void (*call)(const Fixture&, const Input&, Record&),
                           const Fixture& fixture, const std::vector<Input>& inputs) {
    const std::size_t before = allocations;
    for (std::size_t i = 0; i < kCalls; ++i) {
        Record record;
        call(fixture, inputs[i % inputs.size()], record);
        keep(record);
    }
    return allocations - before;
}

/// The counter sees an allocation the compiler cannot remove: otherwise a zero proves nothing.
void allocating_control(const Fixture&, const Input& in, Record&) {
    void* volatile pointer = std::malloc(16 + static_cast<std::size_t>(in.theta_a > 0));
    std::free(pointer);
}

}  // namespace

int main() {  // NOLINT(bugprone-exception-escape): a failed allocation ends the test
    const Fixture fixture;
    const std::vector<Input> inputs = random_inputs(1U << 16U, fixture);
    if (allocations_of(allocating_control, fixture, inputs) != kCalls) {
        std::puts("the allocation counter missed allocations");
        return 1;
    }
    int failures = 0;
    for (const Method& method : kMethods) {
        const std::size_t count = allocations_of(method.call, fixture, inputs);
        std::printf("%s %zu %zu\n", method.name, kCalls, count);
        failures += count != 0 ? 1 : 0;
    }
    return failures == 0 ? 0 : 1;
}
