#pragma once

namespace platform {

// Hands the heap's free pages back to the system. A burst (a bulk transfer's trace
// entries) leaves freed memory in the allocator, where it still counts as the
// process's resident size until it is returned; called once a burst is over.
void ReturnFreeMemory();

} // namespace platform
