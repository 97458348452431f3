// tests/tools/output_hazards.h: what may stand under a tool's output
// name instead of a regular file the tool may replace, made for the output
// file test, and how to tell what stands there. Each system has a file of
// its own (output_hazards_posix.cpp, output_hazards_windows.cpp). Test
// thread.
#pragma once
#include <string>
#include <vector>

struct Hazard {
    const char* name;
    const char* out_name;  // the output's name in its folder
    // Makes it at out, in a fresh folder: null when made, or why it cannot
    // be made here (by this user, on this system).
    const char* (*make)(const std::string& out);
    const char* run_as;  // a prefix to the tool's command: as another user, or ""
};

// This system's hazards.
std::vector<Hazard> output_hazards();

// What stands at path: its type and, for a device, a link or a file, what
// tells it from another of its kind.
std::string what_is(const std::string& path);
