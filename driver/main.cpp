// slscan: turns the turntable scan in ./cavalo into the point files
// pontos.txt and pontos_<angle>.txt. Takes no arguments.
#include "driver/scan.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main() {
#if defined(__GLIBC__)
    // Every photograph and stage result is a fresh 9.4 MB image. By default
    // the C library maps such blocks anew and hands them back to the kernel
    // when freed, so every image costs thousands of page faults and a zeroing
    // of its pages by the kernel. Keeping them in the heap, and the heap
    // untrimmed, lets each new image reuse the memory of one just released;
    // the peak stays the five images the camera sequence holds at most.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
#endif
    return scanRun();
}
