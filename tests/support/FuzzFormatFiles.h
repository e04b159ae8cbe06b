#pragma once

#include "FuzzInputFile.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Fuzz inputs for readers that choose their format by the file's extension: each input goes to
// a file whose extension says what its first bytes look like (ID3 or MPEG sync, fLaC, OggS with
// or without Opus, FORM, ftyp, ADTS, the ASF header), so a seed of each format reaches its own
// reader; anything else gets an extension chosen by its first byte. One file per extension.
class CFuzzFormatFiles {
public:
    // tag names the target in the file names; extensions: the kinds the target reads, the first
    // of them for an empty input.
    CFuzzFormatFiles(const char* tag, std::vector<std::string> extensions);

    // The input written to the file of its kind; null when the file cannot be written.
    const CFuzzInputFile* Write(const uint8_t* data, size_t size);
    const std::string& ExtensionFor(const uint8_t* data, size_t size) const;

private:
    std::string m_tag;
    std::vector<std::string> m_extensions;
    std::map<std::string, std::unique_ptr<CFuzzInputFile>> m_files;
};
