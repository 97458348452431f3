// tools/arguments.h: the command-line tools' one way to read numbers from
// their arguments. Any thread.
#pragma once
#include <cerrno>
#include <cmath>
#include <cstdlib>

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

// A finite number of seconds from 0 to max, the whole of text: digits or a
// point first (no sign, no "inf"). 1 with it in *out, or 0.
inline int parse_seconds(const char* text, double max, double* out)
{
    if ((*text < '0' || *text > '9') && *text != '.')
        return 0;
    char* end;
    double v = std::strtod(text, &end);
    if (*end || !std::isfinite(v) || v > max)
        return 0;
    *out = v;
    return 1;
}
