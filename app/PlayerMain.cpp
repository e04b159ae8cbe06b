// quandel-player: the two-deck mixing player's window. See PlayerArguments.cpp for the
// command line.
#include "PlayerApp.h"
#include "PlayerArguments.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

bool s_starting = true; // the application object is being made: Qt may find no display

// While Qt looks for its display, its complaints become one line of ours; a fatal one ends the
// start with status 1 instead of an abort and a core file.
void StartMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (s_starting && type == QtFatalMsg) {
        std::fprintf(stderr, "quandel-player: the window cannot be opened: %s\n",
                     message.section(QLatin1Char('\n'), 0, 0).toLocal8Bit().constData());
        std::fflush(stderr);
        _exit(CPlayerApp::kExitStartFailed);
    }
    if (s_starting && context.category != nullptr && std::strncmp(context.category, "qt.qpa", 6) == 0)
        return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

bool HasDisplay()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && platform[0] != '\0' && std::strncmp(platform, "xcb", 3) != 0 &&
        std::strncmp(platform, "wayland", 7) != 0)
        return true; // offscreen, vnc and the like need no display server
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && x11[0] != '\0') || (wayland != nullptr && wayland[0] != '\0');
}

} // namespace

int main(int argc, char** argv)
{
    // Help and version need no display.
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(PlayerArguments::Usage(), stdout);
            return CPlayerApp::kExitOk;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quandel-player %s\n", QUANDEL_VERSION);
            return CPlayerApp::kExitOk;
        }
    }
    if (!HasDisplay()) {
        std::fprintf(stderr, "quandel-player: no display to open the window on (neither DISPLAY nor "
                             "WAYLAND_DISPLAY is set); quandel-render plays lists and mixes without one\n");
        return CPlayerApp::kExitStartFailed;
    }
    qInstallMessageHandler(StartMessages);
    CPlayerApp app(argc, argv);
    s_starting = false;
    qInstallMessageHandler(nullptr);
    return app.Run();
}
