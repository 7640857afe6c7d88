// The small stand-ins for what the program first took from its original platform.
#pragma once

#include <string>

namespace gm {

// The directory of the running program with its trailing '/'; "./" when unknown.
std::string program_directory();

// help.txt beside the program (the build tree), else where an installation puts it,
// found from the program's directory so that any install prefix works.
std::string help_file_path(const std::string& program_dir);

// The locale's multibyte encoding name, after setlocale(LC_CTYPE, "").
std::string locale_codeset();

// setlocale(LC_CTYPE, "") and line-buffered standard output and error.
void init_process();

}  // namespace gm
