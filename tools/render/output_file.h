// tools/render/output_file.h: a tool's output file, which takes its name only once
// written in full. It is written unnamed in its folder (O_TMPFILE) and
// linked into place at the end, so that a process killed on the way leaves
// nothing behind; where the filesystem has no unnamed files, under a
// temporary name beside its own. One thread at a time.
#pragma once
#include <cstddef>
#include <string>

struct OutputFile {
    std::string path;  // as given, for messages
    int folder = -1;   // the folder it goes in
    std::string name;  // its name there
    int fd = -1;       // open for writing once output_open has succeeded
    std::string temp;  // its name in folder until the end; empty while unnamed
    int error = 0;     // errno of the first failure
};

// Each returns 1, or 0 with the reason in f->error.
int output_check(OutputFile* f, const char* path);  // path is not a folder, its folder takes new files
int output_open(OutputFile* f);                     // an empty file, permissions as a new file's
int output_write(OutputFile* f, const void* bytes, size_t size);  // all of bytes at the file offset
int output_stage(OutputFile* f);                    // written in full: a temporary name beside its own
int output_commit(OutputFile* f);                   // staged: moved over its name at once
void output_discard(OutputFile* f);                 // closed, the temporary name removed
int output_same(const OutputFile& a, const OutputFile& b);  // both checked, and one name
