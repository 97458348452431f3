// platform/output_file.h: files that take their name only once written in
// full. On Linux one is written unnamed in its folder (O_TMPFILE) and linked
// into place at the end, so that a process killed on the way leaves nothing
// behind; where the filesystem has no unnamed files, and on Windows, under a
// temporary name beside its own. Only a regular file is ever replaced: a
// device, a pipe, a folder or a symbolic link (on Windows, any reparse
// point) of that name is refused before any work. Names change on the main
// thread only; a file's writes may come from one other thread at a time.
// Paths are UTF-8.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

// One lives at file scope, or at least until output_discard: the exit
// and signal handlers read it.
struct OutputFile {
    std::string path;    // as given, for messages
    std::string name;    // its name in its folder
    std::string folder;  // what path names before name; on Windows, once checked, its full name
    intptr_t folder_handle = -1;  // Linux: the folder, held open
    intptr_t handle = -1;         // open for writing once output_open has succeeded
    // Its name in folder until the end, "" while unnamed. A fixed array:
    // the signal handler reads it.
    char temp[1024] = {};
    int error = 0;  // errno of the first failure, or one of output_not_*
};

// Failures of our own beside the errno values; output_reason words them.
constexpr int output_not_regular = -1;  // the name holds something else than a regular file
constexpr int output_not_owner = -2;    // a sticky folder keeps another user's file

// SIGINT, SIGTERM and SIGHUP (on Windows, a console's Ctrl+C, Ctrl+Break or
// closing, a logoff or a shutdown) end the tool wherever it is, with
// "TOOL: interrupted" and status 1, every temporary name removed and older
// files left as they were; once an output has taken its name they are
// ignored, the work being done. A return from main or exit() removes the
// temporary names too. SIGXFSZ is ignored, so that a file size limit fails
// a write as a full disk does. Call once, before the first output_check.
void output_exit_on_signals(const char* tool);

// Each returns 1, or 0 with the reason in f->error.
int output_check(OutputFile* f, const char* path);  // path absent or a regular file we may replace; its folder takes new files
int output_open(OutputFile* f);                     // an empty file, permissions as a new file's
int output_write(OutputFile* f, const void* bytes, size_t size);  // all of bytes at the file offset
int output_write_at(OutputFile* f, const void* bytes, size_t size, off_t offset);  // all of bytes at offset
int output_stage(OutputFile* f);                    // written in full: a temporary name beside its own
int output_commit(OutputFile* f);                   // staged: moved over its name at once
void output_discard(OutputFile* f);                 // closed, the temporary name removed
int output_same(const OutputFile& a, const OutputFile& b);  // both checked, and one name
const char* output_reason(const OutputFile& f);     // f->error in words
// Checked: the whole file at path whole, on the same filesystem, moved over
// its name at once, as output_commit moves a staged one (make-datas).
int output_replace_with(OutputFile* f, const char* whole);

// All the steps above for one file of bytes (the generators, the tests'
// fixtures). 1, or 0. Its commit, as any, ends output_exit_on_signals'
// answers: not for a tool that set them.
int output_write_whole(const char* path, const void* bytes, size_t size);
// A new folder DIR/PREFIX.XXXXXX that no other run shares (only its owner
// may enter it, where the system has such modes): its path, or "" with
// errno saying why.
std::string output_new_folder(const char* dir, const char* prefix);
