/*
 * The two semihosting calls the loader makes: text to the debugger's (here
 * QEMU's) console, and the end of the run with its status.
 */
#ifndef LOADER_SEMIHOSTING_H
#define LOADER_SEMIHOSTING_H

/* Writes a NUL-terminated text. */
void semihosting_write(const char* text);

/* Ends the run: status 0 when ok is non-zero, else 1. Does not return. */
void semihosting_exit(int ok) __attribute__((noreturn));

#endif
