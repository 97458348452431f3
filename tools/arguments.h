// tools/arguments.h: the command-line tools' one way to read their
// arguments: numbers, timed names, and what every tool answers alike
// (--help, an unknown option, a missing input). Any thread.
#pragma once
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

// A path the tools hold in UTF-8 (their command line is UTF-8, on Windows
// through the program's manifest) as the file system's own: a narrow
// string alone would be read in the C runtime's code page on Windows. One
// that is not UTF-8 (a Windows too old for the manifest hands over its
// code page's bytes) names nothing: the empty path, which every call
// refuses. Windows' conversion throws for it, and nothing else here does.
inline std::filesystem::path tool_path(const std::string& utf8)
{
    try {
        return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
    } catch (const std::filesystem::filesystem_error&) {
        return std::filesystem::path();
    }
}

// What a tool does with an argument that none of its own options took:
// --help (or -h) prints its usage on standard output, status 0; any other
// word starting with '-' is an unknown option, one line on standard error,
// status 2. The status to end with, or -1 when arg is a name for the tool
// to take ("-" alone is a name).
inline int tool_other_argument(const char* tool, const char* arg, void (*print_usage)(FILE* to))
{
    if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
        print_usage(stdout);
        return 0;
    }
    if (arg[0] == '-' && arg[1] != '\0') {
        std::fprintf(stderr, "%s: unknown option: %s (see %s --help)\n", tool, arg, tool);
        return 2;
    }
    return -1;
}

// 1 after "TOOL: no such file: SHOWN" on standard error when path names
// nothing; 0 when something is there (one that cannot be read is for its
// reader to report). shown is path as the user knows it, when the tool has
// since changed folders.
inline int tool_input_missing(const char* tool, const std::string& path, const std::string& shown)
{
    std::error_code ec;
    if (std::filesystem::status(tool_path(path), ec).type() != std::filesystem::file_type::not_found)
        return 0;
    std::fprintf(stderr, "%s: no such file: %s\n", tool, shown.c_str());
    return 1;
}

inline int tool_input_missing(const char* tool, const std::string& path)
{
    return tool_input_missing(tool, path, path);
}

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
