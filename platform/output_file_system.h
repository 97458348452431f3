// platform/output_file_system.h: the few calls in which Linux and Windows
// write an output differently (output_file_posix.cpp, output_file_windows.cpp);
// output_file.cpp holds the rest. Each int returns 0, or an errno value (or
// one of output_not_*) saying why not. Main thread, but where noted.
#pragma once
#include "platform/output_file.h"

// Whether *c, in path, ends a folder's part of it.
bool output_system_separator(const char* path, const char* c);
// f->folder held (Linux), or made its full name (Windows): a later change of
// the working folder does not move the output.
int output_system_hold_folder(OutputFile* f);
// What f->name holds now: 0 for nothing or a regular file we may replace.
int output_system_look(const OutputFile& f);
int output_system_may_create(const OutputFile& f);  // the folder takes new files
// Opened for writing with no name, or EOPNOTSUPP where the system has none.
int output_system_open_unnamed(OutputFile* f);
int output_system_create(OutputFile* f);  // f->temp made anew and opened; EEXIST when taken
int output_system_name(OutputFile* f);    // the unnamed file linked at f->temp; EEXIST when taken
int output_system_written(OutputFile* f); // all written: ready to move
// Some of bytes at offset (-1: at the file offset, which moves; otherwise it
// stays): how many, or minus an errno value.
long long output_system_write(OutputFile* f, const void* bytes, size_t size, long long offset);
// from (f->temp in its folder when null) moved over f->name at once.
int output_system_move(OutputFile* f, const char* from);
int output_system_same(const OutputFile& a, const OutputFile& b);  // 1 when one name
void output_system_close(OutputFile* f);  // the file and the folder
int output_system_make_folder(const std::string& path);
unsigned long long output_system_random();

// For the handlers, on whatever thread they run: Linux's is a signal
// handler, and these are safe in one.
void output_system_remove_temp(const OutputFile& f);
bool output_system_stderr_is_terminal();
void output_system_catch(void (*on_interrupt)());  // SIGXFSZ ignored too
[[noreturn]] void output_system_exit(const char* line, size_t size);  // the line on stderr, status 1
void output_system_wait();  // until the handler that is ending the process has
