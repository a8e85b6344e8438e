/* The copy and fill routines a loader names in place of memcpy and memset
   (FOLD_MEMCPY=loader_memcpy, FOLD_MEMSET=loader_memset). */
#include <stddef.h>
#include <string.h>

void* loader_memcpy(void* to, const void* from, size_t size);
void* loader_memset(void* to, int byte, size_t size);

void* loader_memcpy(void* to, const void* from, size_t size) { return memcpy(to, from, size); }

void* loader_memset(void* to, int byte, size_t size) { return memset(to, byte, size); }
