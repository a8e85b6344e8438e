// The container walk with several workers.
//
// This thread stays the only one that reads the file and talks to the
// observers. It walks the records without decoding them (FOLD_RECORDS_ONLY),
// copies each record's data into a free slot of a ring and hands the slot to
// the workers; a worker takes the oldest slot nobody has started and decodes
// its block with FoldDecodeRecord. This thread then passes the decoded
// blocks to the observers in record order, each as soon as it is done. The
// ring holds two blocks per worker, so memory grows with the workers and
// never with the file.
//
// This thread is one of the workers: while the next block to deliver is not
// done, it decodes the oldest block nobody has started rather than wait, so
// n workers are this thread and n - 1 others, and a machine's CPUs are never
// oversubscribed. A
// block decodes in tens of microseconds, which is what a thread's sleep and
// wake cost, so nobody is woken without need: a finished block wakes this
// thread only when it waits for it, and a new slot wakes the others only
// when one of them is idle.
//
// The first fault in file order is the one reported, as in the serial walk.
// The walk finds a record's own faults (its words, sizes, a cut-off) before
// it hands the record out, and FoldDecodeRecord finds those of its block and
// padding, which come right after. So a fault the walk meets at record m, or
// a read that fails there, waits until records 0 to m-1 are decoded and
// delivered: any of them that fails to decode, or that an observer objects
// to, is reported instead. Records walked ahead of the fault are dropped.
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "container/worker_threads.h"
#include "tools/check_walk.h"

namespace romfold::check {
namespace {

struct Slot {
    FoldBlock record{};     // as the walk handed it out; bytes points at data
    std::uint8_t* data;     // the record's data and padding
    std::uint8_t* decoded;  // the block
    FoldError result = FOLD_OK;
    FoldFault fault{};
    bool done = false;  // under the lock
};

struct Shared {
    WorkerLock lock;
    Slot* slots = nullptr;
    unsigned slot_count = 0;
    std::uint64_t published = 0;  // records handed out; written by the walking thread under the lock
    std::uint64_t taken = 0;      // records a worker has started; under the lock
    unsigned idle = 0;            // workers waiting for a record; under the lock
    bool delivery_waits = false;  // the walking thread waits for a block; under the lock
    bool stop = false;            // under the lock
};

void decode(Slot& slot) {
    slot.result = FoldDecodeRecord(&slot.record, FOLD_CONTAINER, slot.decoded, FOLD_BLOCK_SIZE, &slot.fault);
}

void decode_records(void* context, unsigned) {
    Shared& shared = *static_cast<Shared*>(context);
    shared.lock.lock();
    for (;;) {
        while (!shared.stop && shared.taken == shared.published) {
            ++shared.idle;
            shared.lock.wait();
            --shared.idle;
        }
        if (shared.stop) break;
        Slot& slot = shared.slots[shared.taken++ % shared.slot_count];
        shared.lock.unlock();
        decode(slot);
        shared.lock.lock();
        slot.done = true;
        if (shared.delivery_waits) shared.lock.wake_all();
    }
    shared.lock.unlock();
}

}  // namespace

bool walk_parallel(ContainerCheck& check, const std::uint8_t* next, size_t left, unsigned workers) {
    const unsigned slot_count = 2 * workers;
    // Each slot: a record's data (at most one block's bytes) and its block.
    const std::unique_ptr<std::uint8_t[]> memory(new std::uint8_t[size_t{slot_count} * 2 * FOLD_BLOCK_SIZE]);
    const std::unique_ptr<std::uint8_t[]> work(new std::uint8_t[FOLD_WALK_WORK_SIZE]);
    std::vector<Slot> slots(slot_count);
    for (unsigned i = 0; i < slot_count; ++i) {
        slots[i].data = memory.get() + size_t{i} * 2 * FOLD_BLOCK_SIZE;
        slots[i].decoded = slots[i].data + FOLD_BLOCK_SIZE;
    }
    FoldWalker walker;
    FoldWalkBegin(&walker, FOLD_CONTAINER | FOLD_RECORDS_ONLY, size_t(check.stream_size()), nullptr, 0, work.get(),
                  FOLD_WALK_WORK_SIZE);

    Shared shared;
    shared.slots = slots.data();
    shared.slot_count = slot_count;
    // This thread is the first worker; with no other thread to be had, it
    // decodes every block itself.
    WorkerGroup group;
    group.start(workers - 1, decode_records, &shared);

    std::uint64_t delivered = 0;
    bool walking = true;
    // Where the walk stopped short (a fault, a failed read): reported once
    // every record handed out before it is delivered.
    std::optional<CheckError> walk_error;
    bool valid = true;
    while (valid) {
        // Walk ahead while a slot is free. Only this thread changes
        // `published`, so it may read it without the lock.
        while (walking && shared.published - delivered < slot_count) {
            const FoldEvent event = FoldWalk(&walker, &next, &left);
            if (event == FOLD_NEED_INPUT) {
                if (!check.read_piece(&next, &left)) walk_error = check.error();
            } else if (event == FOLD_HEADER) {
                // Nothing is in flight yet: the observers begin at once.
                valid = check.header(walker);
                if (!valid) break;
            } else if (event == FOLD_BLOCK) {
                Slot& slot = slots[shared.published % slot_count];
                std::memcpy(slot.data, walker.block.bytes, walker.block.padded_size);
                slot.record = walker.block;
                slot.record.bytes = slot.data;
                slot.done = false;
                const HeldLock held(shared.lock);
                ++shared.published;
                if (shared.idle != 0) shared.lock.wake_all();
            } else if (event == FOLD_FAULT) {
                check.fault(walker.fault, walker.info);
                walk_error = check.error();
            }
            walking = !walk_error && event != FOLD_DONE;
        }
        if (!valid) break;
        if (delivered == shared.published) {
            // Every record handed out is delivered: the walk ended, or its
            // own fault is next.
            if (walk_error) {
                check.error() = *walk_error;
                valid = false;
            }
            break;
        }
        // Until the next block is done, decode the oldest one nobody has
        // started (that block itself, when no worker has), else wait.
        Slot& slot = slots[delivered % slot_count];
        shared.lock.lock();
        while (!slot.done) {
            if (shared.taken != shared.published) {
                Slot& oldest = slots[shared.taken++ % slot_count];
                shared.lock.unlock();
                decode(oldest);
                shared.lock.lock();
                oldest.done = true;
            } else {
                shared.delivery_waits = true;
                shared.lock.wait();
                shared.delivery_waits = false;
            }
        }
        shared.lock.unlock();
        valid = slot.result == FOLD_OK ? check.block(slot.record, slot.decoded) : check.fault(slot.fault, walker.info);
        ++delivered;
    }

    {
        const HeldLock held(shared.lock);
        shared.stop = true;
        shared.lock.wake_all();
    }
    group.join();
    return valid;
}

}  // namespace romfold::check
