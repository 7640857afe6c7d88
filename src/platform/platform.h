// The small stand-ins for what the program first took from its original platform.
#pragma once

#include <string>

namespace gm {

// The directory of the running program with its trailing '/'; "./" when unknown.
std::string program_directory();

// The locale's multibyte encoding name, after setlocale(LC_CTYPE, "").
std::string locale_codeset();

// setlocale(LC_CTYPE, "") and line-buffered standard output and error.
void init_process();

}  // namespace gm
