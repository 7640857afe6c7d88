// The small stand-ins for what the program first took from its original platform.
#pragma once

#include <cstdio>
#include <string>

namespace gm {

// The directory of the running program with its trailing '/'; "./" when unknown.
std::string program_directory();

// The locale's multibyte encoding name, after setlocale(LC_CTYPE, "").
std::string locale_codeset();

// Opens a file by path: a UTF-8 path through the toolkit, which knows how the system wants
// it named; any other as the bytes of the local code page.
std::FILE* open_path(const char* path, const char* mode);

// setlocale(LC_CTYPE, "") and line-buffered standard output and error.
void init_process();

}  // namespace gm
