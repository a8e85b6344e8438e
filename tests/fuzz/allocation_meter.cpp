#include "allocation_meter.h"

#include <sanitizer/allocator_interface.h>

#include <cstdio>
#include <cstdlib>

namespace romfold::fuzz {

namespace {

// The live allocations made while measuring. A fixed table, because the hooks
// must not allocate; the code under measurement keeps only a few at once.
constexpr size_t table_size = 1024;

struct LiveAllocation {
    const volatile void* pointer;
    size_t size;
};

thread_local bool measuring = false;
thread_local LiveAllocation live[table_size];
thread_local size_t live_count = 0;
thread_local size_t live_bytes = 0;
thread_local HeapUse use;

void on_malloc(const volatile void* pointer, size_t size) {
    if (!measuring) return;
    if (size > use.largest) use.largest = size;
    if (live_count == table_size) {
        use.overflowed = true;
        return;
    }
    live[live_count++] = {pointer, size};
    live_bytes += size;
    if (live_bytes > use.peak) use.peak = live_bytes;
}

void on_free(const volatile void* pointer) {
    if (!measuring || pointer == nullptr) return;
    for (size_t i = 0; i < live_count; ++i) {
        if (live[i].pointer == pointer) {
            live_bytes -= live[i].size;
            live[i] = live[--live_count];
            return;
        }
    }
}

}  // namespace

void install_allocation_meter() {
    if (__sanitizer_install_malloc_and_free_hooks(on_malloc, on_free) == 0) {
        std::fputs("allocation meter: cannot install the malloc hooks\n", stderr);
        std::abort();
    }
}

void start_allocation_meter() {
    live_count = 0;
    live_bytes = 0;
    use = HeapUse{};
    measuring = true;
}

HeapUse stop_allocation_meter() {
    measuring = false;
    return use;
}

AllocationMeterPause::AllocationMeterPause() : was_measuring_(measuring) { measuring = false; }

AllocationMeterPause::~AllocationMeterPause() { measuring = was_measuring_; }

}  // namespace romfold::fuzz
