#include "audio/SoundMemory.h"

#include <cstdlib> // defines __GLIBC__ where the C library is glibc
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace halvix {

void returnLargeBlocksToTheSystem() {
#ifdef __GLIBC__
    // A fixed threshold also turns off the raising. 128 kB is the library's own starting value.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

void shareOneHeap() {
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, 1);
#endif
}

void shareHeapsBetweenThreads() {
#ifdef __GLIBC__
    // The main heap and one more; a thread that allocates takes whichever is free.
    mallopt(M_ARENA_MAX, 2);
#endif
}

void returnFreedMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace halvix
