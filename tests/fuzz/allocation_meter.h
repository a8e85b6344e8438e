// Heap measurement for the fuzz targets: the largest single allocation and
// the peak of live heap bytes made on the calling thread between start() and
// stop(), through the sanitizer allocator's malloc and free hooks.
#pragma once

#include <cstddef>

namespace romfold::fuzz {

struct HeapUse {
    size_t largest = 0;       // the largest single allocation, in bytes
    size_t peak = 0;          // the most bytes live at once, counting only those made while measuring
    bool overflowed = false;  // more allocations were live at once than the meter can follow
};

// Installs the hooks; call once, before the first start().
void install_allocation_meter();

// Begins measuring the calling thread's allocations, from zero.
void start_allocation_meter();

// Stops measuring and returns what was seen.
HeapUse stop_allocation_meter();

// Leaves out the allocations of its own scope, e.g. those of a test observer
// that runs inside the code being measured.
class AllocationMeterPause {
public:
    AllocationMeterPause();
    ~AllocationMeterPause();
    AllocationMeterPause(const AllocationMeterPause&) = delete;
    AllocationMeterPause& operator=(const AllocationMeterPause&) = delete;

private:
    bool was_measuring_;
};

}  // namespace romfold::fuzz
