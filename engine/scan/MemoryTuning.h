#pragma once

namespace quorvex {

// Keeps memory the program frees for its next use instead of handing it back to the system at
// once. Exact recovery decodes every picture it finds, and each decode allocates and frees
// buffers of up to tens of megabytes: handed back and taken again, every one of them costs fresh
// page faults. Call once at start-up; it changes only how much freed memory the process keeps.
void KeepFreedMemoryForReuse();

}  // namespace quorvex
