// Allocations that fail on purpose. A test binary that links
// allocation_limit.cpp has its global operator new and delete replaced by
// ones that can be told to fail once, as when memory runs out and some is
// then given back. A failed allocation behaves as the standard one does: the
// new-handler, when there is one, runs; without one, the throwing forms throw
// std::bad_alloc and the nothrow forms return null.
#pragma once

#include <cstdint>

namespace vtest {

// The `n`-th allocation from now on (1: the next one) fails; 0 cancels.
void FailAllocation(std::uint64_t n);
// Whether the allocation asked for has failed since the last FailAllocation.
bool AllocationFailed();

}  // namespace vtest
