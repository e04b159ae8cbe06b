// Fuzz entry for the controller mapping reader: whatever it reads, writing it back and reading
// that again gives the same bindings and the same text, and every refused row has a line number.
#include "ControlTable.h"
#include "FuzzInputFile.h"
#include "MidiMapping.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CControlTable controls;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<MidiMappingProblem> problems;
    const CMidiMapping mapping = CMidiMapping::Read(text, controls, problems);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    for (const MidiMappingProblem& problem : problems) {
        CFuzzInputFile::Check(problem.line >= 1 && problem.line <= lines, "a problem outside the file");
        CFuzzInputFile::Check(!problem.message.empty(), "a problem without a reason");
    }
    for (const MidiBinding& binding : mapping.Bindings()) {
        CFuzzInputFile::Check(binding.channel < 16 && binding.number < 128, "a message out of range");
        CFuzzInputFile::Check(binding.target != MidiTarget::Control ||
                                  controls.FindFunction(binding.controlId),
                              "a binding to a function that does not exist");
    }
    const std::string written = mapping.Write();
    std::vector<MidiMappingProblem> again;
    const CMidiMapping reread = CMidiMapping::Read(written, controls, again);
    CFuzzInputFile::Check(reread.Bindings().size() == mapping.Bindings().size(), "bindings lost in writing");
    CFuzzInputFile::Check(again.size() == problems.size(), "refused rows changed in writing");
    CFuzzInputFile::Check(reread.Write() == written, "writing twice gives another text");
    return 0;
}
