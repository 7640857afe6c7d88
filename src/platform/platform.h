// The small stand-ins for what the program first took from its original platform.
#pragma once

#include <cstdio>
#include <string>

namespace gm {

// The directory of the running program with its trailing '/'; "./" when unknown.
std::string program_directory();

// help.txt beside the program (the build tree), else where an installation puts it,
// found from the program's directory so that any install prefix works.
std::string help_file_path(const std::string& program_dir);

// The locale's multibyte encoding name, after setlocale(LC_CTYPE, "").
std::string locale_codeset();

// Opens a file by path: a UTF-8 path through the toolkit, which knows how the system wants
// it named; any other as the bytes of the local code page.
std::FILE* open_path(const char* path, const char* mode);

// setlocale(LC_CTYPE, "") and line-buffered standard output and error.
void init_process();

}  // namespace gm
