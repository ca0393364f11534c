#include "bacnet/value/value_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// Allocations left before the test seam makes them fail; negative means never fail.
std::atomic<long> allocations_left{-1};

bool allocation_allowed()
{
  long left = allocations_left.load(std::memory_order_relaxed);
  while (left >= 0) {
    if (left == 0)
      return false;
    if (allocations_left.compare_exchange_weak(left, left - 1, std::memory_order_relaxed))
      return true;
  }
  return true;
}

}  // namespace

void* value_mem_alloc(size_t size)
{
  if (!allocation_allowed())
    return nullptr;
  return std::malloc(size ? size : 1);
}

void* value_mem_calloc(size_t count, size_t size)
{
  if (!allocation_allowed())
    return nullptr;
  if (count == 0 || size == 0)
    return std::calloc(1, 1);
  return std::calloc(count, size);
}

void* value_mem_realloc(void* block, size_t size)
{
  if (!allocation_allowed())
    return nullptr;
  return std::realloc(block, size ? size : 1);
}

void value_mem_free(void* block)
{
  std::free(block);
}

char* value_mem_strdup(const char* text)
{
  if (!text)
    return nullptr;
  size_t n = std::strlen(text) + 1;
  char* copy = static_cast<char*>(value_mem_alloc(n));
  if (copy)
    std::memcpy(copy, text, n);
  return copy;
}

void value_mem_fail_after(long successes)
{
  allocations_left.store(successes < 0 ? -1 : successes, std::memory_order_relaxed);
}
