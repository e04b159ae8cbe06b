#include "PulseDeviceList.h"

#include "AudioThread.h"
#include "PulseConnection.h"

#include <pulse/introspect.h>

#include <chrono>

namespace {

// A server that accepts the connection but does not answer must not hold the user interface.
constexpr auto kServerTimeout = std::chrono::milliseconds(700);

struct SinkQuery {
    std::vector<PulseSink>* sinks = nullptr;
    bool done = false;
};

void OnSink(pa_context* /*context*/, const pa_sink_info* info, int eol, void* userdata)
{
    auto* query = static_cast<SinkQuery*>(userdata);
    if (eol != 0 || info == nullptr) {
        query->done = true;
        return;
    }
    PulseSink sink;
    sink.name = info->name != nullptr ? info->name : "";
    sink.description = info->description != nullptr ? info->description : sink.name;
    sink.channels = info->channel_map.channels;
    query->sinks->push_back(std::move(sink));
}

struct Lists {
    bool reachable = false;
    std::vector<PulseSink> sinks;
    std::vector<PulseSink> fourChannel;
};

const Lists& TheLists()
{
    static const Lists lists = [] {
        Lists built;
        std::vector<PulseSink> all;
        built.reachable = PulseDevices::ReadSinks(all) == 0;
        for (const PulseSink& sink : all) {
            if (built.sinks.size() < PulseDevices::kMaxSinks)
                built.sinks.push_back(sink);
            if (sink.channels >= 4 && built.fourChannel.size() < PulseDevices::kMaxSinks)
                built.fourChannel.push_back(sink);
        }
        return built;
    }();
    return lists;
}

} // namespace

namespace PulseDevices {

int ReadSinks(std::vector<PulseSink>& out)
{
    AssertNotAudioThread("PulseDevices::ReadSinks");
    out.clear();
    const auto deadline = CPulseConnection::Clock::now() + kServerTimeout;
    CPulseConnection connection;
    if (const int result = connection.Connect(deadline); result != 0)
        return result;
    SinkQuery query;
    query.sinks = &out;
    pa_operation* operation = pa_context_get_sink_info_list(connection.Context(), OnSink, &query);
    if (operation == nullptr)
        return OutputErrors::kServerUnreachable;
    const bool done = connection.RunUntil([&] { return query.done; }, deadline);
    if (!done)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
    if (done)
        return 0;
    out.clear();
    return OutputErrors::kServerUnreachable;
}

bool ServerReachable()
{
    return TheLists().reachable;
}

const std::vector<PulseSink>& Sinks()
{
    return TheLists().sinks;
}

const std::vector<PulseSink>& FourChannelSinks()
{
    return TheLists().fourChannel;
}

} // namespace PulseDevices
