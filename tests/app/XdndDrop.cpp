// quandel-xdnd-drop: drops files onto a window of another X client over the XDND protocol, as a
// file manager would, so that the end-to-end tests can drag files onto the player's window under
// Xvfb (xdotool moves the pointer but carries no data).
//
//   quandel-xdnd-drop [-v] WINDOW_ID X Y FILE...
//
// WINDOW_ID is decimal (as xdotool prints it) or 0x-hex; X Y are pixels from that window's
// top-left corner. Relative FILE paths are taken from the current folder. The drop goes to the
// deepest window under that point that announces XdndAware (or, where another window covers the
// point, to WINDOW_ID or its nearest such ancestor). Exit status 0 once the target has finished
// the drop and accepted it, 1 when it refused, did not answer within 5 s or vanished, 2 on a
// usage error. Silent on success; -v prints one line to stderr.
//
// The source side of XDND version 5 (freedesktop.org): XdndEnter, one XdndPosition, XdndStatus
// back, XdndDrop, the target converting XdndSelection, XdndFinished back. One position is enough:
// without a window manager nothing moves between the position and the drop.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <sys/select.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kProgram = "quandel-xdnd-drop";
// The highest XDND version we speak; a target announcing less gets its own.
constexpr long kXdndVersion = 5;
// Each answer from the target (and the server's timestamp) gets this long; Qt answers a position
// within milliseconds, so a miss means the target is stuck or gone, not slow.
constexpr auto kAnswerTimeout = std::chrono::seconds(5);
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Options {
    bool verbose = false;
    Window window = None;
    int x = 0; // pixels from the window's left edge
    int y = 0; // pixels from the window's top edge
    std::vector<std::string> paths;
};

struct XdndAtoms {
    Atom aware;
    Atom selection;
    Atom enter;
    Atom position;
    Atom status;
    Atom leave;
    Atom drop;
    Atom finished;
    Atom actionCopy;
    Atom typeList;
    Atom targets;
    Atom uriList;
    Atom textPlain;
    Atom timestampProbe;
};

struct DropTarget {
    Window window = None;
    long version = 0; // as announced in XdndAware
};

enum class WaitOutcome { Received, TimedOut, TargetGone, XError };

struct TargetAnswer {
    WaitOutcome outcome = WaitOutcome::TimedOut;
    XClientMessageEvent message{};
};

struct RootPoint {
    Window root = None;
    int x = 0;
    int y = 0;
    bool onScreen = false;     // XdndPosition carries 16 unsigned bits per axis
    bool insideWindow = false; // within the given window's own rectangle
};

// What the source answers with once it owns XdndSelection.
struct DragSession {
    Display* display = nullptr;
    XdndAtoms atoms{};
    Window source = None;
    Window target = None;
    long version = 0; // spoken with the target: min(ours, its)
    Time timestamp = CurrentTime;
    std::vector<Atom> types; // offered, in order of preference
    std::string uriList;
    int answeredRequests = 0; // selection requests answered with data
};

// The first X error since the last check. Xlib reports errors asynchronously through a global
// handler, so the handler only records and the step that follows decides what it means.
struct XErrorRecord {
    bool seen = false;
    unsigned char errorCode = 0;
    unsigned char requestCode = 0;
    XID resource = None;
};

XErrorRecord& RecordedError()
{
    static XErrorRecord record;
    return record;
}

int RecordError(Display* /*display*/, XErrorEvent* error)
{
    XErrorRecord& record = RecordedError();
    if (!record.seen) {
        record = {true, error->error_code, error->request_code, error->resourceid};
    }
    return 0;
}

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayHandle = std::unique_ptr<Display, DisplayCloser>;

struct XFreeDeleter {
    void operator()(void* data) const { XFree(data); }
};

__attribute__((format(printf, 1, 2))) int Fail(const char* format, ...)
{
    std::fprintf(stderr, "%s: ", kProgram);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    return kExitFailure;
}

// True (after printing what happened) when an X error arrived since the last call.
bool TakeXError(Display* display, const char* step)
{
    XSync(display, False);
    XErrorRecord& record = RecordedError();
    if (!record.seen) {
        return false;
    }
    char text[256] = {};
    XGetErrorText(display, record.errorCode, text, sizeof text);
    Fail("X error while %s: %s (request %u, resource 0x%lx)", step, text, record.requestCode,
         record.resource);
    record = {};
    return true;
}

void PrintUsage()
{
    std::fprintf(stderr,
                 "usage: %s [-v] WINDOW_ID X Y FILE...\n"
                 "Drops FILE... over XDND onto the window under (X, Y) of WINDOW_ID (decimal or 0x-hex).\n",
                 kProgram);
}

// Decimal or 0x-hex; a leading zero alone does not mean octal, as it would for strtoul's base 0.
std::optional<Window> ParseWindowId(const std::string& text)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits[0] == '-' || digits[0] == '+') {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
    // Resource ids are 29 bits wide.
    if (errno != 0 || *end != '\0' || value == 0 || value > 0x1fffffffULL) {
        return std::nullopt;
    }
    return static_cast<Window>(value);
}

std::optional<int> ParseCoordinate(const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || *end != '\0' || value < -32768 || value > 32767) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

std::optional<Options> ParseArguments(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    Options options;
    if (!args.empty() && args.front() == "-v") {
        options.verbose = true;
        args.erase(args.begin());
    }
    if (args.size() < 4) {
        return std::nullopt;
    }
    const auto window = ParseWindowId(args[0]);
    const auto x = ParseCoordinate(args[1]);
    const auto y = ParseCoordinate(args[2]);
    if (!window || !x || !y) {
        return std::nullopt;
    }
    options.window = *window;
    options.x = *x;
    options.y = *y;
    for (auto arg = args.begin() + 3; arg != args.end(); ++arg) {
        if (arg->empty()) {
            return std::nullopt;
        }
        options.paths.push_back(std::filesystem::absolute(*arg).lexically_normal().string());
    }
    return options;
}

// RFC 3986 unreserved characters and the path separator stay; every other byte, UTF-8 included,
// becomes %XX.
std::string FileUri(const std::string& path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool keep = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                          (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
                          byte == '~' || byte == '/';
        if (keep) {
            uri += c;
        } else {
            uri += '%';
            uri += kHex[byte >> 4];
            uri += kHex[byte & 0x0f];
        }
    }
    return uri;
}

// text/uri-list (RFC 2483) ends every line with CRLF.
std::string UriList(const std::vector<std::string>& paths)
{
    std::string list;
    for (const auto& path : paths) {
        list += FileUri(path);
        list += "\r\n";
    }
    return list;
}

XdndAtoms InternAtoms(Display* display)
{
    const char* names[] = {
        "XdndAware", "XdndSelection", "XdndEnter",    "XdndPosition",          "XdndStatus",
        "XdndLeave", "XdndDrop",      "XdndFinished", "XdndActionCopy",        "XdndTypeList",
        "TARGETS",   "text/uri-list", "text/plain",   "QUANDEL_XDND_TIMESTAMP"};
    Atom atoms[std::size(names)] = {};
    XInternAtoms(display, const_cast<char**>(names), static_cast<int>(std::size(names)), False, atoms);
    return {atoms[0], atoms[1], atoms[2], atoms[3],  atoms[4],  atoms[5],  atoms[6],
            atoms[7], atoms[8], atoms[9], atoms[10], atoms[11], atoms[12], atoms[13]};
}

// The version a window announces in XdndAware, or 0 when it has none (a window announcing 0
// counts as none too). The property is typed ATOM; any 32-bit type is taken, as a target that
// mislabels it still expects drops.
long AwareVersion(Display* display, Window window, Atom xdndAware)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long bytesAfter = 0;
    unsigned char* raw = nullptr;
    const int status = XGetWindowProperty(display, window, xdndAware, 0, 1, False, AnyPropertyType, &type,
                                          &format, &count, &bytesAfter, &raw);
    const std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
    if (status != Success || type == None || format != 32 || count != 1) {
        return 0;
    }
    // Xlib hands 32-bit property items over as longs.
    return *reinterpret_cast<const long*>(data.get());
}

std::optional<RootPoint> ToRoot(Display* display, const Options& options)
{
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, options.window, &attributes) == 0) {
        return std::nullopt;
    }
    RootPoint point;
    point.root = attributes.root;
    Window child = None;
    if (!XTranslateCoordinates(display, options.window, point.root, options.x, options.y, &point.x, &point.y,
                               &child)) {
        return std::nullopt;
    }
    point.insideWindow =
        options.x >= 0 && options.y >= 0 && options.x < attributes.width && options.y < attributes.height;
    point.onScreen = point.x >= 0 && point.y >= 0 && point.x < WidthOfScreen(attributes.screen) &&
                     point.y < HeightOfScreen(attributes.screen);
    return point;
}

// The deepest XdndAware window on the way down from the root to the point; the root itself does
// not count, a desktop's drop zone there is not what a test aims at.
DropTarget AwareWindowUnder(Display* display, const RootPoint& point, Atom xdndAware)
{
    DropTarget found;
    Window window = point.root;
    for (;;) {
        int x = 0;
        int y = 0;
        Window child = None;
        if (!XTranslateCoordinates(display, point.root, window, point.x, point.y, &x, &y, &child) ||
            child == None) {
            return found;
        }
        window = child;
        if (const long version = AwareVersion(display, window, xdndAware); version > 0) {
            found = {window, version};
        }
    }
}

// The nearest XdndAware window among the given one and its ancestors below the root: the target
// when the point lies inside the given window but not over a mapped part of it (an unmapped or
// covered window). A point outside it gets no target: Qt took drops at positions outside its
// window when tried, and a test aiming past the window must fail rather than drop anyway.
DropTarget AwareAncestor(Display* display, Window window, Window root, Atom xdndAware)
{
    while (window != None && window != root) {
        if (const long version = AwareVersion(display, window, xdndAware); version > 0) {
            return {window, version};
        }
        Window treeRoot = None;
        Window parent = None;
        Window* rawChildren = nullptr;
        unsigned int childCount = 0;
        if (!XQueryTree(display, window, &treeRoot, &parent, &rawChildren, &childCount)) {
            break;
        }
        const std::unique_ptr<Window, XFreeDeleter> children(rawChildren);
        window = parent;
    }
    return {};
}

// Never mapped, so it shows nowhere and the point cannot land on it; it only owns the selection
// and receives the target's messages.
Window CreateSourceWindow(Display* display, Window root)
{
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    return XCreateWindow(display, root, -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent, CWEventMask,
                         &attributes);
}

std::optional<XEvent> NextEvent(Display* display, Clock::time_point deadline)
{
    while (XPending(display) == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        const int fd = ConnectionNumber(display);
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        timeval timeout{static_cast<time_t>(left.count() / 1000000),
                        static_cast<suseconds_t>(left.count() % 1000000)};
        if (select(fd + 1, &readable, nullptr, nullptr, &timeout) < 0 && errno != EINTR) {
            return std::nullopt;
        }
    }
    XEvent event{};
    XNextEvent(display, &event);
    return event;
}

// A zero-length append still produces a PropertyNotify, which carries the server's time: the
// selection must be owned from a real timestamp, not CurrentTime (ICCCM 2.1).
std::optional<Time> ServerTime(Display* display, Window window, Atom property)
{
    const unsigned char nothing = 0;
    XChangeProperty(display, window, property, XA_STRING, 8, PropModeAppend, &nothing, 0);
    const auto deadline = Clock::now() + kAnswerTimeout;
    while (const auto event = NextEvent(display, deadline)) {
        if (event->type == PropertyNotify && event->xproperty.window == window &&
            event->xproperty.atom == property) {
            return event->xproperty.time;
        }
    }
    return std::nullopt;
}

// Writes the answer into the requestor's property and tells it so; a target we do not offer is
// refused with property None (ICCCM 2.2).
void AnswerSelectionRequest(DragSession& session, const XSelectionRequestEvent& request)
{
    Display* display = session.display;
    // Requestors older than ICCCM 2.0 leave the property out and mean the target's name.
    Atom property = request.property == None ? request.target : request.property;
    const bool offered =
        std::find(session.types.begin(), session.types.end(), request.target) != session.types.end();
    // Large answers would need the INCR protocol, which no file list of a test comes near.
    const auto maxBytes = static_cast<size_t>(XMaxRequestSize(display)) * 4 - 256;
    if (request.selection != session.atoms.selection) {
        property = None;
    } else if (request.target == session.atoms.targets) {
        std::vector<Atom> targets{session.atoms.targets};
        targets.insert(targets.end(), session.types.begin(), session.types.end());
        XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(targets.data()),
                        static_cast<int>(targets.size()));
    } else if (offered && session.uriList.size() <= maxBytes) {
        XChangeProperty(display, request.requestor, property, request.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(session.uriList.data()),
                        static_cast<int>(session.uriList.size()));
        ++session.answeredRequests;
    } else {
        if (offered) {
            Fail("the file list (%zu bytes) is too long for one property", session.uriList.size());
        }
        property = None;
    }
    XEvent notify{};
    notify.xselection.type = SelectionNotify;
    notify.xselection.display = display;
    notify.xselection.requestor = request.requestor;
    notify.xselection.selection = request.selection;
    notify.xselection.target = request.target;
    notify.xselection.property = property;
    notify.xselection.time = request.time;
    XSendEvent(display, request.requestor, False, NoEventMask, &notify);
    XFlush(display);
}

void SendXdndMessage(const DragSession& session, Atom type, long l1, long l2, long l3, long l4)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.display = session.display;
    event.xclient.window = session.target;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(session.source);
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    event.xclient.data.l[4] = l4;
    XSendEvent(session.display, session.target, False, NoEventMask, &event);
    XFlush(session.display);
}

void SendEnter(const DragSession& session)
{
    // Bit 0 says the types are in XdndTypeList because three do not fit the message.
    const long flags = (session.version << 24) | (session.types.size() > 3 ? 1 : 0);
    long types[3] = {None, None, None};
    for (size_t i = 0; i < session.types.size() && i < 3; ++i) {
        types[i] = static_cast<long>(session.types[i]);
    }
    SendXdndMessage(session, session.atoms.enter, flags, types[0], types[1], types[2]);
}

void SendPosition(const DragSession& session, const RootPoint& point)
{
    const long packed = (static_cast<long>(point.x & 0xffff) << 16) | (point.y & 0xffff);
    SendXdndMessage(session, session.atoms.position, 0, packed, static_cast<long>(session.timestamp),
                    static_cast<long>(session.atoms.actionCopy));
}

// Serves selection requests while waiting for one XDND message from the target. The target's
// DestroyNotify (the session selects StructureNotify on it) ends the wait at once rather than
// at the deadline.
TargetAnswer WaitForMessage(DragSession& session, Atom type)
{
    const auto deadline = Clock::now() + kAnswerTimeout;
    while (const auto event = NextEvent(session.display, deadline)) {
        if (event->type == SelectionRequest) {
            AnswerSelectionRequest(session, event->xselectionrequest);
        } else if (event->type == DestroyNotify && event->xdestroywindow.window == session.target) {
            return {WaitOutcome::TargetGone, {}};
        } else if (event->type == ClientMessage && event->xclient.message_type == type &&
                   static_cast<Window>(event->xclient.data.l[0]) == session.target) {
            return {WaitOutcome::Received, event->xclient};
        }
        if (RecordedError().seen) {
            return {WaitOutcome::XError, {}};
        }
    }
    return {WaitOutcome::TimedOut, {}};
}

int FailWaiting(const DragSession& session, WaitOutcome outcome, const char* message)
{
    if (outcome == WaitOutcome::XError) {
        TakeXError(session.display, "waiting for the target");
        return Fail("the drop failed while the source waited for %s", message);
    }
    if (outcome == WaitOutcome::TargetGone) {
        return Fail("the target 0x%lx went away while the source waited for %s", session.target, message);
    }
    return Fail("timed out after %lld s waiting for %s from 0x%lx",
                static_cast<long long>(kAnswerTimeout.count()), message, session.target);
}

int Drop(const Options& options)
{
    const DisplayHandle display(XOpenDisplay(nullptr));
    if (!display) {
        const char* name = std::getenv("DISPLAY");
        return Fail("cannot open display '%s'", name ? name : "");
    }
    XSetErrorHandler(RecordError);
    DragSession session;
    session.display = display.get();
    session.atoms = InternAtoms(display.get());

    const auto point = ToRoot(display.get(), options);
    if (!point || TakeXError(display.get(), "looking up the window")) {
        return Fail("no window 0x%lx on display '%s'", options.window, DisplayString(display.get()));
    }
    if (!point->onScreen) {
        return Fail("%d,%d of 0x%lx is off the screen (%d,%d)", options.x, options.y, options.window,
                    point->x, point->y);
    }
    DropTarget target = AwareWindowUnder(display.get(), *point, session.atoms.aware);
    if (target.window == None && point->insideWindow) {
        target = AwareAncestor(display.get(), options.window, point->root, session.atoms.aware);
    }
    if (TakeXError(display.get(), "looking for the drop target")) {
        return kExitFailure;
    }
    if (target.window == None) {
        return Fail("no window takes drops (XdndAware) at %d,%d of 0x%lx (%d,%d on the screen)", options.x,
                    options.y, options.window, point->x, point->y);
    }
    session.target = target.window;
    session.version = std::min(kXdndVersion, target.version);
    session.types = {session.atoms.uriList, session.atoms.textPlain};
    session.uriList = UriList(options.paths);

    session.source = CreateSourceWindow(display.get(), point->root);
    XChangeProperty(display.get(), session.source, session.atoms.typeList, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(session.types.data()),
                    static_cast<int>(session.types.size()));
    const auto timestamp = ServerTime(display.get(), session.source, session.atoms.timestampProbe);
    if (!timestamp) {
        return Fail("timed out after %lld s waiting for the server's timestamp",
                    static_cast<long long>(kAnswerTimeout.count()));
    }
    session.timestamp = *timestamp;
    XSetSelectionOwner(display.get(), session.atoms.selection, session.source, session.timestamp);
    if (XGetSelectionOwner(display.get(), session.atoms.selection) != session.source) {
        return Fail("could not take ownership of XdndSelection");
    }

    // Its DestroyNotify tells a target that closed apart from one that is slow.
    XSelectInput(display.get(), session.target, StructureNotifyMask);
    SendEnter(session);
    SendPosition(session, *point);
    if (TakeXError(display.get(), "entering the target")) {
        return Fail("the target 0x%lx went away", session.target);
    }
    const TargetAnswer status = WaitForMessage(session, session.atoms.status);
    if (status.outcome != WaitOutcome::Received) {
        if (status.outcome == WaitOutcome::TimedOut) {
            SendXdndMessage(session, session.atoms.leave, 0, 0, 0, 0);
        }
        return FailWaiting(session, status.outcome, "XdndStatus");
    }
    if ((status.message.data.l[1] & 1) == 0) {
        SendXdndMessage(session, session.atoms.leave, 0, 0, 0, 0);
        return Fail("0x%lx does not accept the files at %d,%d (XdndStatus without accept)", session.target,
                    options.x, options.y);
    }

    SendXdndMessage(session, session.atoms.drop, 0, static_cast<long>(session.timestamp), 0, 0);
    const TargetAnswer finished = WaitForMessage(session, session.atoms.finished);
    if (finished.outcome != WaitOutcome::Received) {
        return FailWaiting(session, finished.outcome, "XdndFinished");
    }
    // Before version 5 XdndFinished carries no outcome.
    if (session.version >= 5 && (finished.message.data.l[1] & 1) == 0) {
        return Fail("0x%lx finished the drop without accepting it", session.target);
    }
    if (options.verbose) {
        std::fprintf(stderr, "%s: dropped %zu file(s) on 0x%lx (XDND version %ld, %d data request(s))\n",
                     kProgram, options.paths.size(), session.target, session.version,
                     session.answeredRequests);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const auto options = ParseArguments(argc, argv);
    if (!options) {
        PrintUsage();
        return kExitUsage;
    }
    return Drop(*options);
}
