#include "AudioSource.h"

#include "CdTrackSource.h"
#include "FfmpegSource.h"
#include "Mp3Source.h"
#include "WavSource.h"

#include <cstring>
#include <strings.h>

std::unique_ptr<CAudioSource> CAudioSource::CreateForPath(const char* path)
{
    if (path == nullptr)
        return nullptr;
    // The extension runs from the last dot of the file name; a dot in a folder name does not count.
    const char* dot = std::strrchr(FileNameOf(path), '.');
    const char* extension = dot ? dot : "";
    if (strcasecmp(extension, ".wav") == 0)
        return std::make_unique<CWavSource>();
    if (strcasecmp(extension, ".cda") == 0)
        return std::make_unique<CCdTrackSource>();
    if (CFfmpegSource::HandlesExtension(extension))
        return std::make_unique<CFfmpegSource>();
    return std::make_unique<CMp3Source>();
}

const char* CAudioSource::FileNameOf(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '/' || *p == '\\')
            name = p + 1;
    }
    return name;
}

std::string CAudioSource::TitleOf(const char* path)
{
    const char* name = FileNameOf(path);
    const char* dot = std::strrchr(name, '.');
    return dot ? std::string(name, dot) : std::string(name);
}
