// content/xorshift.h: the generators' own random numbers. The same sequence
// on every machine and compiler, unlike the standard library's
// distributions, so generated data stays byte-identical.
#pragma once
#include <cstdint>

// Marsaglia's 32-bit xorshift (13, 17, 5). state must not be 0.
inline uint32_t xorshift32(uint32_t& state)
{
    uint32_t x = state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    state = x;
    return x;
}
