// The record loop with several workers.
//
// This thread stays the only one that touches the files: it reads the blocks
// in order into a ring of slots, hands each to the workers, and writes the
// records in order as the workers finish them. A worker takes the oldest
// block nobody has started, compresses it with its own handle, and marks it
// done. The ring bounds the blocks in flight, so memory grows with the
// workers and never with the image.
//
// Failures keep the serial loop's order: a read that fails at block k stops
// the reading and is reported only once blocks 0 to k-1 are written; a write
// or an encoder failure at block k stops the run before any later record is
// written. Blocks read ahead of a failure are simply dropped.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "container/block_container_writer.h"
#include "container/block_records.h"
#include "container/worker_threads.h"

namespace romfold {
namespace {

struct Slot {
    std::uint8_t* input;
    std::uint8_t* output;
    std::uint32_t size = 0;   // input bytes
    std::int32_t result = 0;  // what FoldEncode returned
    bool last = false;
    bool encoded = false;  // under the lock
};

struct Shared {
    WorkerLock lock;
    Slot* slots = nullptr;
    unsigned slot_count = 0;
    EncoderHandle* const* handles = nullptr;
    std::uint64_t published = 0;  // blocks read and handed out; written by the reading thread under the lock
    std::uint64_t taken = 0;      // blocks a worker has started; under the lock
    bool stop = false;            // under the lock
};

void encode(EncoderHandle* handle, Slot& slot) {
    slot.result = FoldEncode(handle, slot.output, static_cast<std::int32_t>(container_block_size), slot.input,
                             static_cast<std::int32_t>(slot.size));
}

void encode_blocks(void* context, unsigned index) {
    Shared& shared = *static_cast<Shared*>(context);
    EncoderHandle* handle = shared.handles[index];
    shared.lock.lock();
    for (;;) {
        while (!shared.stop && shared.taken == shared.published) shared.lock.wait();
        if (shared.stop) break;
        Slot& slot = shared.slots[shared.taken++ % shared.slot_count];
        shared.lock.unlock();
        encode(handle, slot);
        shared.lock.lock();
        slot.encoded = true;
        shared.lock.wake_all();
    }
    shared.lock.unlock();
}

}  // namespace

RecordStatus write_records_parallel(const RecordStreams& streams, EncoderHandle* const* handles, unsigned workers,
                                    std::uint8_t* memory, unsigned in_flight) {
    std::vector<Slot> slots(in_flight);
    for (unsigned i = 0; i < in_flight; ++i) {
        slots[i].input = memory + std::size_t{i} * block_in_flight_size;
        slots[i].output = slots[i].input + container_block_size;
    }
    Shared shared;
    shared.slots = slots.data();
    shared.slot_count = in_flight;
    shared.handles = handles;
    WorkerGroup group;
    // With no thread to be had, this thread compresses each block itself.
    const bool alone = group.start(workers, encode_blocks, &shared) == 0;

    std::uint64_t next_write = 0;
    std::uint32_t read = 0;
    bool reading = true;
    RecordStatus read_status = records_written;
    RecordStatus status = records_written;
    for (;;) {
        // Read ahead while a slot is free. Only this thread changes
        // `published`, so it may read it without the lock.
        while (reading && shared.published - next_write < in_flight) {
            Slot& slot = slots[shared.published % in_flight];
            const std::uint32_t due = streams.total - read;
            std::uint32_t n = 0;
            read_status =
                fill_block(streams.source, slot.input, due < container_block_size ? due : container_block_size, &n);
            if (read_status.status != fold_ok) {
                reading = false;
                break;
            }
            read += n;
            slot.size = n;
            slot.last = read == streams.total;
            slot.encoded = false;
            // An empty block ends the run at the encoder; nothing after it is needed.
            if (slot.last || n == 0) reading = false;
            const HeldLock held(shared.lock);
            ++shared.published;
            shared.lock.wake_all();
        }
        if (next_write == shared.published) {
            status = read_status;  // every block read is written: done, or the read failure
            break;
        }
        Slot& slot = slots[next_write % in_flight];
        if (alone) {
            encode(handles[0], slot);
        } else {
            const HeldLock held(shared.lock);
            while (!slot.encoded) shared.lock.wait();
        }
        status = write_record(streams, slot.input, slot.size, slot.output, slot.result, slot.last);
        if (status.status != fold_ok) break;
        ++next_write;
    }

    {
        const HeldLock held(shared.lock);
        shared.stop = true;
        shared.lock.wake_all();
    }
    group.join();
    return status;
}

}  // namespace romfold
