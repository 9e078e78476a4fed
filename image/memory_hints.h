// Memory hints for the stages that pass whole 9.4 MB images along.
//
// A stage's output is read by a later stage only after other large images
// have gone through the cache, so it is written with streaming (non-temporal)
// stores, which skip reading each cache line in before overwriting it. The
// decoders' reads run ahead of the hardware prefetcher with a software
// prefetch. None of this changes a value: it only moves the same bytes
// differently. Without SSE2 or the GNU builtins the plain forms are used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Asks for the cache line holding `p` ahead of its use.
inline void imgPrefetch(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    (void)p;
#endif
}

// Whether `p` may take 16-byte streaming stores.
inline bool imgStreamable(const float* p) { return (reinterpret_cast<uintptr_t>(p) & 15) == 0; }

// Copies n floats to dst past the cache (where dst allows it).
inline void imgStreamCopy(float* dst, const float* src, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    if (imgStreamable(dst)) {
        for (; i + 4 <= n; i += 4) _mm_stream_ps(dst + i, _mm_loadu_ps(src + i));
    }
#endif
    std::memcpy(dst + i, src + i, (n - i) * sizeof(float));
}

// Orders the streaming stores before whatever the stage does next.
inline void imgStreamFence() {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}
