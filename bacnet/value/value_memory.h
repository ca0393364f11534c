// The one allocator of the value library, with a seam that lets tests run it out of
// memory at a chosen allocation. Everything the library owns is allocated and released
// here, so a value's memory can be handed between its modules freely.
#pragma once

#include <cstddef>

void* value_mem_alloc(size_t size);                   // uninitialised
void* value_mem_calloc(size_t count, size_t size);    // zeroed
void* value_mem_realloc(void* block, size_t size);
void value_mem_free(void* block);
char* value_mem_strdup(const char* text);

// Tests only: the next `successes` allocations succeed and every later one fails, until
// called with -1 (never fail again).
void value_mem_fail_after(long successes);
