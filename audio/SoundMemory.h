#pragma once

namespace halvix {

// Keeps every large block (a decoded sound, a stream's buffer) in memory of its own that goes back
// to the system when it is freed. The C library would otherwise raise its threshold after the first
// such block is freed and serve the next ones from the shared heap, where blocks of many sizes come
// and go over a day of bells and the heap's resident size creeps up. Once, at start.
void returnLargeBlocksToTheSystem();

// One heap for every thread instead of one per thread: the service's few threads seldom allocate
// at once, and each heap of its own keeps its pages resident. Once, before any thread starts.
void shareOneHeap();

// Two heaps for all threads instead of one per thread that allocates (up to eight a core): each
// further heap keeps some hundred kB resident for the few blocks of the thread that made it (the
// decoder's, the sound server's, the log writer's). Once, at start, before any thread starts.
void shareHeapsBetweenThreads();

// Gives the pages of freed small blocks back to the system. The heap keeps them otherwise: after a
// bell, its decoding, logging and reloading leave a few hundred kB of free pages resident until
// the next one. Cheap (under a millisecond for the program's heaps); for when nothing is urgent.
void returnFreedMemory();

} // namespace halvix
