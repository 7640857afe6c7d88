// Where the core's progress lines go: standard output unless a program says otherwise.
// The window program keeps the default; a tool whose standard output carries data sends
// them to standard error or drops them.
#pragma once

#include <cstdio>

namespace gm {

// nullptr: progress lines are dropped.
void set_progress_stream(std::FILE* stream);

// printf() and puts() onto the progress stream.
void progress(const char* format, ...) __attribute__((format(printf, 1, 2)));
void progress_line(const char* line);

}  // namespace gm
