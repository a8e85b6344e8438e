/*
 * Semihosting on a Cortex-M: the operation number in r0, its argument in r1,
 * then a breakpoint with the immediate 0xAB, which the debugger (QEMU with
 * -semihosting-config enable=on) serves.
 */
#include "semihosting.h"

enum {
    SYS_WRITE0 = 0x04,
    SYS_EXIT = 0x18,
    /* Reasons for SYS_EXIT: a normal end is status 0; any other is 1. */
    APPLICATION_EXIT = 0x20026,
    RUN_TIME_ERROR = 0x20023
};

static void call(unsigned operation, const void* argument) {
    register unsigned r0 __asm__("r0") = operation;
    register const void* r1 __asm__("r1") = argument;
    __asm__ volatile("bkpt 0xAB" : "+r"(r0) : "r"(r1) : "memory");
}

void semihosting_write(const char* text) { call(SYS_WRITE0, text); }

void semihosting_exit(int ok) {
    call(SYS_EXIT, (const void*)(ok ? APPLICATION_EXIT : RUN_TIME_ERROR));
    for (;;) {
    }
}
