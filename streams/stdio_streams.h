// ByteSource / ByteSink over the C runtime's FILE*, switched to binary mode so
// that the engine's own text-stream rules are the only translation.
#pragma once
#include <cstdio>

#include "engine/text_stream.h"

namespace ravolin {

void set_binary_mode(std::FILE* f);

// True when f reads a regular file (not a pipe, a terminal or a device):
// reading it ahead can never wait for input that may not come.
bool is_regular_file(std::FILE* f);

class FileSource : public ByteSource {
public:
    explicit FileSource(std::FILE* f) : f_(f) {}
    long read(unsigned char* buf, std::size_t n) override;

private:
    std::FILE* f_;
};

class FileSink : public ByteSink {
public:
    explicit FileSink(std::FILE* f) : f_(f) {}
    bool write(const unsigned char* buf, std::size_t n) override;

private:
    std::FILE* f_;
};

}  // namespace ravolin
