// quandel-render: renders a list or a Mix-File to a WAV file, or plays it, without a display.
#include "HeadlessRenderer.h"

#include <cstdio>

int main(int argc, char** argv)
{
    CHeadlessRenderer::Options options;
    std::string error;
    bool help = false;
    if (!CHeadlessRenderer::ParseArguments(argc, argv, options, error, help)) {
        std::fprintf(stderr, "quandel-render: %s (see --help)\n", error.c_str());
        return CHeadlessRenderer::kUsage;
    }
    if (help) {
        std::fputs(CHeadlessRenderer::HelpText(), stdout);
        return 0;
    }
    CHeadlessRenderer renderer(std::move(options));
    return renderer.Run();
}
