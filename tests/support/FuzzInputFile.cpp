#include "FuzzInputFile.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

CFuzzInputFile::CFuzzInputFile(const char* tag, const char* extension)
{
    const char* base = std::getenv("TMPDIR");
    const std::string folder = (base != nullptr && *base != '\0') ? base : "/tmp";
    m_path = folder + "/quandel-fuzz-" + tag + "-" + std::to_string(getpid()) + "." + extension;
}

CFuzzInputFile::~CFuzzInputFile()
{
    std::remove(m_path.c_str());
}

bool CFuzzInputFile::Write(const uint8_t* data, size_t size) const
{
    std::FILE* file = std::fopen(m_path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

void CFuzzInputFile::Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "reader invariant broken: %s\n", what);
        std::abort();
    }
}
