// Fuzz entry for the analysis cache reader: the input is read as a cache file; what it accepts
// must write out and read back to the same entries.
#include "AnalysisCache.h"
#include "FuzzInputFile.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CFuzzInputFile output("analysis-out", "txt");
    CAnalysisCache cache;
    if (!cache.Parse(std::string_view(reinterpret_cast<const char*>(data), size))) {
        CFuzzInputFile::Check(cache.Size() == 0, "a refused file leaves entries behind");
        return 0;
    }
    CFuzzInputFile::Check(cache.Save(output.Path()), "an accepted cache does not save");
    CAnalysisCache again;
    CFuzzInputFile::Check(again.Load(output.Path()), "a saved cache does not read back");
    CFuzzInputFile::Check(again.Size() == cache.Size(), "entries lost on the way through a file");
    return 0;
}
