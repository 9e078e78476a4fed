// slscan: turns the turntable scan in ./cavalo into the point files
// pontos.txt and pontos_<angle>.txt. Takes no arguments.
#include "driver/scan.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main() {
#if defined(__GLIBC__)
    // Every photograph and stage result is a fresh image of the picture's
    // size (9.4 MB at 1024 x 768, 144 MB at 4000 x 3000). By default the C
    // library maps such blocks anew and hands them back to the kernel when
    // freed, so every image costs a page fault per 4 KB and a zeroing of its
    // pages by the kernel. The mapping threshold cannot be raised above
    // 32 MiB, so it is switched off instead: every block comes from the heap,
    // and the heap is never trimmed (-1), so each new image reuses the memory
    // of one just released, at any picture size. The peak stays the five
    // images the camera sequence holds at most.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, -1);
#endif
    return scanRun();
}
