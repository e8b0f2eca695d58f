#include "MemoryTuning.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quorvex {

void KeepFreedMemoryForReuse()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);   // blocks below 32 MiB come from the heap and return to it
    mallopt(M_TRIM_THRESHOLD, 256 << 20);  // the heap keeps up to 256 MiB of freed memory
#endif
}

}  // namespace quorvex
