/*
 * The only two library routines the decoder calls, for a loader without a C
 * library. Built with -fno-tree-loop-distribute-patterns so that the
 * compiler does not turn these loops back into calls to themselves.
 */
#include <stddef.h>
#include <stdint.h>

void* memcpy(void* to, const void* from, size_t size) {
    uint8_t* d = (uint8_t*)to;
    const uint8_t* s = (const uint8_t*)from;
    while (size-- != 0) *d++ = *s++;
    return to;
}

void* memset(void* to, int value, size_t size) {
    uint8_t* d = (uint8_t*)to;
    while (size-- != 0) *d++ = (uint8_t)value;
    return to;
}
