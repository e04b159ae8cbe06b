#include "AudioSource.h"

#include "WavSource.h"

#include <cstring>
#include <strings.h>

namespace {

// The extension runs from the last dot of the file-name component; a dot in a folder name does
// not count. Windows lists use '\' as separator, so both separators end a folder.
const char* Extension(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '/' || *p == '\\')
            name = p + 1;
    }
    const char* dot = std::strrchr(name, '.');
    return dot ? dot : "";
}

} // namespace

std::unique_ptr<CAudioSource> CAudioSource::CreateForPath(const char* path)
{
    if (path == nullptr)
        return nullptr;
    const char* extension = Extension(path);
    if (strcasecmp(extension, ".wav") == 0)
        return std::make_unique<CWavSource>();
    // Audio-CD tracks and MPEG audio arrive with their own readers.
    return nullptr;
}
