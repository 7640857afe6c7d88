// Reading a document file whole, with the text-mode translation of the platform the
// tag files were first written on: CR LF becomes LF (also across read chunks), a 0x1A
// byte ends the text, a lone CR stays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace gm {

constexpr size_t kReadChunk = 1500000;
// How long a named pipe may stay silent before reading it fails ("Connection timed out").
constexpr int kPipeWaitMs = 3000;
// Positions are 32-bit: a text must stay below 2 GiB.
constexpr int64_t kMaxDocumentSize = INT32_MAX - 1;

// Appends the file's translated bytes to data (a std::string or a TextBlock). Answers the
// new total size, or -1 on failure (with a diagnostic line on standard error; data keeps
// what was read).
template <class Bytes>
int64_t read_whole_file(Bytes& data, const char* path);

// The one line written to standard error when a text would pass kMaxDocumentSize.
void report_document_too_large();

}  // namespace gm
