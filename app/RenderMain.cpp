// quandel-render: renders a list or a Mix-File to a WAV file, or plays it, without a display.
#include "HeadlessRenderer.h"

#include <csignal>
#include <cstdio>

namespace {

void OnSignal(int signal)
{
    CHeadlessRenderer::Interrupt(signal);
}

} // namespace

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
    // A full disk or a file-size limit is a write error to report, not a signal that kills the
    // render before it can remove its temporary file; a reader that went away likewise.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);

    CHeadlessRenderer renderer(std::move(options));
    const int code = renderer.Run();
    if (const int signal = CHeadlessRenderer::InterruptSignal(); signal != 0) {
        // Ended by the signal, as the shell expects of an interrupted program.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    return code;
}
