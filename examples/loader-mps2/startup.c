/*
 * Start-up of the loader on a Cortex-M3: the vector table (the stack's top
 * and the reset handler come first; the core reads them at reset), the
 * copy of initialised data from flash, the zeroed bss, then main. A fault
 * ends the run with status 1 rather than hanging the board.
 */
#include <stdint.h>

#include "semihosting.h"

int main(void);

extern uint32_t __data_start[], __data_end[], __data_load[], __bss_start[], __bss_end[];
extern uint32_t __stack_top[];

void reset_handler(void) __attribute__((noreturn));
static void fault_handler(void) __attribute__((noreturn));

void reset_handler(void) {
    const uint32_t* from = __data_load;
    uint32_t* to;
    for (to = __data_start; to < __data_end; ++to) *to = *from++;
    for (to = __bss_start; to < __bss_end; ++to) *to = 0;
    semihosting_exit(main() == 0);
}

static void fault_handler(void) {
    semihosting_write("loader: fault exception\n");
    semihosting_exit(0);
}

/* What the core reads from address 0: the initial stack pointer, then the
   handlers of reset, NMI, hard fault and the memory management, bus and
   usage faults. */
typedef void (*handler)(void);
struct vector_table {
    uint32_t* stack_top;
    handler reset, nmi, hard_fault, memory_fault, bus_fault, usage_fault;
};
__attribute__((section(".vectors"), used)) static const struct vector_table vectors = {
    __stack_top, reset_handler, fault_handler, fault_handler, fault_handler, fault_handler, fault_handler};
