// tools/arguments.h: the command-line tools' one way to read numbers and
// timed names from their arguments. Any thread.
#pragma once
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

// count decimal numbers, each 0 to max, separated by sep and nothing else
// (no sign, no space). 1 with them in out, or 0.
inline int parse_numbers(const char* text, char sep, int count, unsigned long max, unsigned long* out)
{
    for (int i = 0; i < count; ++i) {
        if (*text < '0' || *text > '9')
            return 0;
        char* end;
        errno = 0;
        out[i] = std::strtoul(text, &end, 10);
        if (errno || out[i] > max || *end != (i + 1 < count ? sep : '\0'))
            return 0;
        text = end + 1;
    }
    return 1;
}

// A number of seconds from 0 to max, the whole of text, written in
// decimal: digits with at most one point ("12", "12.5", "12.", ".5"). No
// sign, exponent, hexadecimal, "inf" or "nan": strtod would take "0x10" as
// 16. 1 with it in *out, or 0.
inline int parse_seconds(const char* text, double max, double* out)
{
    int digits = 0, points = 0;
    for (const char* c = text; *c; ++c) {
        if (*c >= '0' && *c <= '9')
            ++digits;
        else if (*c == '.' && points == 0)
            ++points;
        else
            return 0;
    }
    if (digits == 0)
        return 0;
    // Only the rounding is left to strtod; the tools keep the C locale,
    // whose point is '.'.
    double v = std::strtod(text, nullptr);
    if (v > max)
        return 0;
    *out = v;
    return 1;
}

// The argument of --at, "SECONDS:NAME": seconds as parse_seconds takes them
// (0 to max), then the name of a row of table. The row, with the seconds in
// *seconds; null when there is none, with *name pointing at the name when
// only the name is wrong, so that each tool can say which.
template <typename Row, size_t count>
const Row* parse_at(const char* text, double max, const Row (&table)[count], double* seconds, const char** name)
{
    *name = nullptr;
    const char* colon = std::strchr(text, ':');
    if (!colon || !parse_seconds(std::string(text, colon).c_str(), max, seconds))
        return nullptr;
    *name = colon + 1;
    for (const Row& row : table)
        if (!std::strcmp(*name, row.name))
            return &row;
    return nullptr;
}
