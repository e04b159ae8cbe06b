#include "MixStream.h"

#include "ControlFunction.h"
#include "ControlTable.h"
#include "FileReplacer.h"
#include "MixReference.h"
#include "Playlist.h"
#include "TimeLine.h"
#include "XmlPlaylist.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint16_t kTickEnd = 0x8000;
constexpr uint16_t kFirstTick = 0x4000;
constexpr uint16_t kUnusedMarkerBits = 0x3F00;

// The control functions a mix drives, in the order their channels enter the table.
struct Registration {
    int32_t id;
    bool overridable;
};
constexpr Registration kRegistrations[] = {
    {ControlId::XFader, true},           {ControlId::XFaderMode, false},
    {ControlId::DeckStartStop, false},   {ControlId::DeckPitch, false},
    {ControlId::DeckVolume, true},       {ControlId::DeckEqLow, true},
    {ControlId::DeckEqMid, true},        {ControlId::DeckEqHigh, true},
    {ControlId::DeckEqLowKill, true},    {ControlId::DeckEqMidKill, true},
    {ControlId::DeckEqHighKill, true},   {ControlId::DeckBpActive, true},
    {ControlId::DeckBpNotchMode, true},  {ControlId::DeckBpCenter, true},
    {ControlId::DeckBpWidth, true},      {ControlId::DeckBpResonance, true},
    {ControlId::DeckPunchIn, true},      {ControlId::DeckMute, true},
    {ControlId::DeckSkipForward, false}, {ControlId::DeckSkipBackward, false},
    {ControlId::DeckJumpToCue, false},   {ControlId::DeckCueLoop, false},
    {ControlId::DeckReverse, false},     {ControlId::DeckPitchBend, false},
    {ControlId::DeckScratchOn, false},   {ControlId::DeckScratch, false},
    {ControlId::DeckWind, false},        {ControlId::MixCuePointsA, false},
    {ControlId::MixCuePointsB, false},   {ControlId::MixTrackEntry, false},
};

// Bounds-checked little-endian reads; a read that would pass the end fails and moves nothing.
class CByteReader {
public:
    CByteReader(const std::vector<uint8_t>& bytes, uint32_t position) : m_bytes(bytes), m_position(position)
    {
    }
    uint32_t Position() const { return m_position; }
    void Skip(uint32_t bytes) { m_position += bytes; } // the caller checked the bytes are there
    bool Read(uint32_t size, uint32_t& value)
    {
        if (m_bytes.size() - m_position < size)
            return false;
        value = 0;
        for (uint32_t i = 0; i < size; ++i)
            value |= static_cast<uint32_t>(m_bytes[m_position + i]) << (8 * i);
        m_position += size;
        return true;
    }

private:
    const std::vector<uint8_t>& m_bytes;
    uint32_t m_position;
};

constexpr char kMagic[] = "QUANDEL Mix";
constexpr size_t kMagicLength = 11;
constexpr uint8_t kVersion = 2;
constexpr char kTrailer[] = "END";
// Far above any real mix (hours of events are megabytes); keeps a hostile size field from
// asking for gigabytes.
constexpr uint32_t kMaxBlockBytes = 512u << 20;
// Header, list, stream and trailer together.
constexpr size_t kMaxFileBytes = size_t{2} * kMaxBlockBytes + 64;

// A temporary file named with the given prefix in the temporary folder, removed on destruction.
class CTemporaryFile {
public:
    explicit CTemporaryFile(const char* prefix)
    {
        const char* folder = std::getenv("TMPDIR");
        std::string pattern =
            std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/" + prefix + "XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        const int fd = mkstemp(name.data());
        if (fd >= 0) {
            ::close(fd);
            m_path = name.data();
        }
    }
    ~CTemporaryFile()
    {
        if (!m_path.empty())
            std::remove(m_path.c_str());
    }
    CTemporaryFile(const CTemporaryFile&) = delete;
    CTemporaryFile& operator=(const CTemporaryFile&) = delete;
    bool Valid() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Owns the descriptor ReadRegularFile reads from.
class CReadDescriptor {
public:
    explicit CReadDescriptor(int fd) : m_fd(fd) {}
    ~CReadDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CReadDescriptor(const CReadDescriptor&) = delete;
    CReadDescriptor& operator=(const CReadDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// Reads a whole regular file. Opened without blocking and checked before the first read: a FIFO,
// a device or a folder named like a Mix-File is refused instead of waiting for a writer that may
// never come. The size fstat reports is only a first guess; reading stops at the real end or at
// maxBytes.
bool ReadRegularFile(const std::string& path, std::vector<uint8_t>& bytes, size_t maxBytes,
                     std::string& error)
{
    const CReadDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) {
        error = std::string("cannot be opened: ") + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        error = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "is not a regular file";
        return false;
    }
    if (static_cast<uint64_t>(info.st_size) > maxBytes) {
        error = "is too large for a Mix-File";
        return false;
    }
    bytes.clear();
    bytes.reserve(static_cast<size_t>(info.st_size));
    std::array<uint8_t, 1 << 16> block{};
    for (;;) {
        const ssize_t n = ::read(fd.Get(), block.data(), block.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::string("cannot be read: ") + std::strerror(errno);
            return false;
        }
        if (n == 0)
            return true;
        if (bytes.size() + static_cast<size_t>(n) > maxBytes) {
            error = "is too large for a Mix-File";
            return false;
        }
        bytes.insert(bytes.end(), block.begin(), block.begin() + n);
    }
}

void PutU32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

} // namespace

CMixStream::CMixStream()
{
    m_firstEntry.fill(-1);
}

void CMixStream::RegisterChannels(CControlTable& table)
{
    for (const Registration& r : kRegistrations) {
        CControlFunction* function = table.FindFunction(r.id);
        if (function == nullptr)
            function = table.Internal(r.id);
        if (function != nullptr)
            Register(*function, r.overridable);
    }
}

void CMixStream::Register(CControlFunction& function, bool overridable)
{
    std::lock_guard lock(m_lock);
    const int32_t id = function.Id();
    if (id < 0 || id >= static_cast<int32_t>(m_firstEntry.size()) || m_firstEntry[id] >= 0)
        return;
    m_firstEntry[id] = static_cast<int16_t>(m_channels.size());
    const int channels = std::max(1, function.ChannelCount());
    for (int c = 0; c < channels; ++c) {
        ChannelEntry entry;
        entry.channel = static_cast<uint8_t>(c);
        entry.function = &function;
        entry.flags = overridable ? kOverridable : 0;
        m_channels.push_back(entry);
        m_shadow.push_back(kUnknown);
    }
}

CMixStream::ChannelEntry* CMixStream::FindEntry(int32_t id, int channel) noexcept
{
    if (id < 0 || id >= static_cast<int32_t>(m_firstEntry.size()) || m_firstEntry[id] < 0)
        return nullptr;
    const size_t index = static_cast<size_t>(m_firstEntry[id]) + static_cast<size_t>(channel);
    if (index >= m_channels.size() || m_channels[index].function->Id() != id ||
        m_channels[index].channel != channel)
        return nullptr;
    return &m_channels[index];
}

// ---- Container -----------------------------------------------------------------------------

bool CMixStream::Load(const char* path, CPlaylist* playlist)
{
    std::lock_guard lock(m_lock);
    ClearLocked(playlist != nullptr);
    m_stream.clear();
    m_loadError.clear();
    auto fail = [this](const char* why) {
        if (m_loadError.empty())
            m_loadError = why;
        return false;
    };
    std::vector<uint8_t> file;
    if (path == nullptr)
        return fail("no file named");
    if (!ReadRegularFile(path, file, kMaxFileBytes, m_loadError))
        return false;
    if (file.size() < 1 + kMagicLength || std::memcmp(file.data() + 1, kMagic, kMagicLength) != 0)
        return fail("is not a Mix-File");
    CByteReader reader(file, 1 + kMagicLength);
    uint32_t version = 0;
    uint32_t tickCount = 0;
    if (!reader.Read(1, version) || !reader.Read(4, tickCount))
        return fail("is cut short in its header");
    if (version > kVersion)
        return fail("is a Mix-File of a newer version than this player reads");
    if (version > 1) {
        uint32_t listBytes = 0;
        if (!reader.Read(4, listBytes) || listBytes > file.size() - reader.Position())
            return fail("is cut short in its list");
        if (playlist != nullptr) {
            CTemporaryFile list("QZL");
            if (!list.Valid())
                return fail("cannot be read: no temporary file for its list");
            {
                std::ofstream out(list.Path(), std::ios::binary);
                out.write(reinterpret_cast<const char*>(file.data() + reader.Position()), listBytes);
                if (!out)
                    return fail("cannot be read: its list does not fit into a temporary file");
            }
            // The tracks are looked for next to the Mix-File first.
            MixReference reference;
            const std::string parent = std::filesystem::path(path).parent_path().string();
            const std::string folder = (parent.empty() ? "." : parent) + "/";
            if (!CXmlPlaylist::Load(*playlist, list.Path(), false, &reference, folder))
                return fail("holds a list that cannot be read");
            m_title = reference.title;
            m_comment = reference.comment;
        }
        reader.Skip(listBytes);
    }
    uint32_t streamBytes = 0;
    if (!reader.Read(4, streamBytes) || streamBytes > kMaxBlockBytes ||
        streamBytes > file.size() - reader.Position())
        return fail("is cut short in its event stream");
    m_stream.assign(file.begin() + reader.Position(), file.begin() + reader.Position() + streamBytes);
    reader.Skip(streamBytes);
    m_declaredTickCount = tickCount;
    m_tickCount.store(tickCount);
    if (version > 1) {
        // A damaged end leaves an empty mix; the list read above stays.
        uint32_t length = 0;
        const size_t at = reader.Position();
        if (!reader.Read(1, length) || length != 3 || file.size() - at < 4 ||
            std::memcmp(file.data() + at + 1, kTrailer, 3) != 0) {
            m_stream.clear();
            m_tickCount.store(0);
            m_declaredTickCount = 0;
            m_damagedAtTick.store(0, std::memory_order_release);
        }
    }
    const std::string name = std::filesystem::path(path).stem().string();
    if (m_title.empty() && strcasecmp(name.c_str(), "last") != 0)
        m_title = name;
    m_path = path;
    CheckStreamLocked();
    BuildMarkersLocked();
    return true;
}

std::string CMixStream::LoadError() const
{
    std::lock_guard lock(m_lock);
    return m_loadError;
}

bool CMixStream::Save(const char* path, CPlaylist& playlist)
{
    std::lock_guard lock(m_lock);
    if (path == nullptr)
        return false;
    m_path = path;
    CTemporaryFile list("QZL");
    if (!list.Valid())
        return false;
    const MixReference reference{m_title, m_comment, m_path};
    std::vector<uint8_t> listBytes;
    std::string error;
    if (!CXmlPlaylist::Save(playlist, list.Path(), &reference) ||
        !ReadRegularFile(list.Path(), listBytes, kMaxBlockBytes, error))
        return false;

    std::vector<uint8_t> out;
    out.reserve(32 + listBytes.size() + m_stream.size());
    out.push_back(static_cast<uint8_t>(kMagicLength));
    out.insert(out.end(), kMagic, kMagic + kMagicLength);
    out.push_back(kVersion);
    // A damaged stream goes back with the count it came with, so that saving changes nothing
    // of what the next load finds.
    PutU32(out, m_declaredTickCount);
    PutU32(out, static_cast<uint32_t>(listBytes.size()));
    out.insert(out.end(), listBytes.begin(), listBytes.end());
    PutU32(out, static_cast<uint32_t>(m_stream.size()));
    out.insert(out.end(), m_stream.begin(), m_stream.end());
    out.push_back(3);
    out.insert(out.end(), kTrailer, kTrailer + 3);

    // Written beside the target and renamed over it, so a failed save keeps the old file.
    CFileReplacer file(path);
    return file.Open() && file.Write(out.data(), out.size()) && file.Commit();
}

// ---- Stream and text -----------------------------------------------------------------------

void CMixStream::ClearLocked(bool clearText) noexcept
{
    m_tickCount = 0;
    m_declaredTickCount = 0;
    m_damagedAtTick.store(kIntact, std::memory_order_release);
    m_currentTick = 0;
    m_readPosition = 0;
    m_playing.store(false, std::memory_order_release);
    m_markerCount = 0;
    m_track = {-1, -1};
    for (auto& track : m_trackNow)
        track.store(-1, std::memory_order_release);
    m_crossFader = -1;
    m_runningPosition = {-1, -1};
    m_seekGeneration.fetch_add(1, std::memory_order_acq_rel);
    if (clearText) {
        m_title.clear();
        m_comment.clear();
    }
}

void CMixStream::Clear()
{
    std::lock_guard lock(m_lock);
    ClearLocked(true);
    m_stream.clear();
}

void CMixStream::SetStream(std::vector<uint8_t> stream, uint32_t tickCount)
{
    std::lock_guard lock(m_lock);
    ClearLocked(false);
    m_stream = std::move(stream);
    m_tickCount = tickCount;
    m_declaredTickCount = tickCount;
    CheckStreamLocked();
    BuildMarkersLocked();
}

std::vector<uint8_t> CMixStream::Stream() const
{
    std::lock_guard lock(m_lock);
    return m_stream;
}

void CMixStream::SetTitle(const std::string& title)
{
    std::lock_guard lock(m_lock);
    m_title = title;
}

void CMixStream::SetComment(const std::string& comment)
{
    std::lock_guard lock(m_lock);
    m_comment = comment;
}

void CMixStream::SetPath(const std::string& path)
{
    std::lock_guard lock(m_lock);
    m_path = path;
}

std::string CMixStream::Title() const
{
    std::lock_guard lock(m_lock);
    return m_title.empty() ? "untitled" : m_title;
}

std::string CMixStream::Comment() const
{
    std::lock_guard lock(m_lock);
    return m_comment;
}

std::string CMixStream::Path() const
{
    std::lock_guard lock(m_lock);
    return m_path;
}

// ---- Reading ticks -------------------------------------------------------------------------

bool CMixStream::ReadTick(bool advance, bool apply, int32_t* positionA, int32_t* positionB)
{
    std::lock_guard lock(m_lock);
    return ReadTickLocked(advance, apply, positionA, positionB) == TickResult::Tick;
}

CMixStream::TickResult CMixStream::TryReadTick(bool advance, bool apply, int32_t* positionA,
                                               int32_t* positionB) noexcept
{
    std::unique_lock lock(m_lock, std::try_to_lock);
    if (!lock.owns_lock())
        return TickResult::Busy;
    return ReadTickLocked(advance, apply, positionA, positionB);
}

CMixStream::TickResult CMixStream::ReadTickLocked(bool advance, bool apply, int32_t* positionA,
                                                  int32_t* positionB) noexcept
{
    ReleasePendingLocked();
    const bool playing = m_playing.load(std::memory_order_relaxed);
    if (playing && apply && m_resyncPending.exchange(false, std::memory_order_acq_rel)) {
        // The first tick after a seek writes every value the ticks skipped had set, so the decks
        // play on from the state the mix has there (a stream holds only changes).
        for (size_t i = 0; i < m_channels.size(); ++i) {
            ChannelEntry& entry = m_channels[i];
            if (m_shadow[i] != kUnknown && (entry.flags & kTakenOver) == 0)
                entry.function->Set(entry.channel, m_shadow[i], Marks::ChangedAndApply);
        }
    }
    if (playing && apply) {
        // A user's change since the engine last consumed the channel is a take-over.
        for (ChannelEntry& entry : m_channels) {
            if ((entry.flags & kOverridable) != 0 &&
                (entry.function->Flags(entry.channel) & CControlFunction::kApplyPending) != 0) {
                entry.flags |= kTakenOver;
                m_overrideActive = true;
            }
        }
    }
    if (m_currentTick >= m_tickCount) {
        // Only the replay itself ends the playing; a scan of the whole stream does not.
        if (apply)
            m_playing.store(false, std::memory_order_release);
        return TickResult::End;
    }
    const uint32_t start = m_readPosition;
    const auto savedPositions = m_runningPosition;
    bool firstTick = false;
    if (DecodeTick(playing && apply, firstTick) != Decode::Tick) {
        // A stream that lies about its length or holds bytes the reader does not know ends
        // here; the decks keep what they have.
        m_readPosition = start;
        m_runningPosition = savedPositions;
        m_tickCount.store(m_currentTick.load());
        if (m_damagedAtTick.load(std::memory_order_relaxed) > m_currentTick)
            m_damagedAtTick.store(m_currentTick, std::memory_order_release);
        if (apply)
            m_playing.store(false, std::memory_order_release);
        return TickResult::End;
    }
    for (int deck = 0; deck < 2; ++deck)
        m_trackNow[deck].store(m_track[deck], std::memory_order_release);
    if (positionA != nullptr)
        *positionA = m_runningPosition[0];
    if (positionB != nullptr)
        *positionB = m_runningPosition[1];
    if (advance) {
        m_currentTick.fetch_add(1, std::memory_order_acq_rel);
    } else {
        m_readPosition = start;
        m_runningPosition = savedPositions;
    }
    return TickResult::Tick;
}

CMixStream::Decode CMixStream::DecodeTick(bool apply, bool& firstTick) noexcept
{
    CByteReader reader(m_stream, m_readPosition);
    uint32_t word = 0;
    for (;;) {
        if (!reader.Read(2, word))
            return Decode::End;
        if ((word & kTickEnd) != 0)
            break;
        const auto id = static_cast<int32_t>(word);
        uint32_t tag = 0;
        if (!reader.Read(1, tag))
            return Decode::End;
        const uint32_t width = tag & 0xF0;
        const int channel = static_cast<int>(tag & 0x0F);
        uint32_t raw = 0;
        if (width == 0x10   ? !reader.Read(1, raw)
            : width == 0x20 ? !reader.Read(2, raw)
            : width == 0x00 ? !reader.Read(4, raw)
                            : true)
            return Decode::Corrupt;
        const auto value = static_cast<int32_t>(raw);
        if (id == ControlId::MixTrackEntry && channel < 2)
            m_track[channel] = value;
        else if (id == ControlId::XFader && channel == 0)
            m_crossFader = value;
        ChannelEntry* entry = FindEntry(id, channel);
        if (entry != nullptr) {
            // Followed whether applied or not: after a seek it is the state at the target.
            m_shadow[static_cast<size_t>(entry - m_channels.data())] = value;
            if (apply && (entry->flags & kTakenOver) == 0)
                entry->function->Set(channel, value, Marks::ChangedAndApply);
        }
    }
    firstTick = (word & kFirstTick) != 0;
    // A marker with bits no recorder sets, or a "first tick" mark later in the stream, is most
    // likely an event's id read out of step: what follows would be read as garbage.
    if ((word & kUnusedMarkerBits) != 0 || (firstTick && m_readPosition != 0))
        return Decode::Corrupt;
    // Positions: codes 1/2/3 for deck A in bits 0..3, 0x10/0x20/0x30 for deck B in bits 4..7.
    // They are followed whether or not the tick is applied, so that a seek arrives with the
    // positions of the tick before its target.
    for (int deck = 0; deck < 2; ++deck) {
        const uint32_t code = (word >> (4 * deck)) & 0x0F;
        uint32_t payload = 0;
        switch (code) {
        case 0:
            break;
        case 1:
            if (!reader.Read(4, payload))
                return Decode::End;
            m_runningPosition[deck] = static_cast<int32_t>(payload);
            break;
        case 2:
        case 3:
            if (!reader.Read(1, payload))
                return Decode::End;
            m_runningPosition[deck] = static_cast<int32_t>(
                static_cast<uint32_t>(m_runningPosition[deck]) +
                (code == 2 ? payload : static_cast<uint32_t>(-static_cast<int32_t>(payload))));
            break;
        default:
            return Decode::Corrupt;
        }
    }
    m_readPosition = reader.Position();
    return Decode::Tick;
}

// ---- Play and take-over --------------------------------------------------------------------

void CMixStream::Play(bool on) noexcept
{
    if (on)
        m_releasePending.store(true, std::memory_order_release);
    m_playing.store(on, std::memory_order_release);
}

void CMixStream::ReleasePendingLocked() noexcept
{
    if (!m_releasePending.exchange(false, std::memory_order_acq_rel))
        return;
    for (ChannelEntry& entry : m_channels)
        entry.flags &= static_cast<uint16_t>(~kTakenOver);
    m_overrideActive = false;
}

void CMixStream::TakeOverAll(bool on)
{
    std::lock_guard lock(m_lock);
    ReleasePendingLocked();
    for (ChannelEntry& entry : m_channels) {
        if ((entry.flags & kOverridable) == 0)
            continue;
        if (on)
            entry.flags |= kTakenOver;
        else
            entry.flags &= static_cast<uint16_t>(~kTakenOver);
    }
    m_overrideActive = on;
}

bool CMixStream::TakeOver(int32_t id, int channel, bool on)
{
    std::lock_guard lock(m_lock);
    if (!m_playing.load(std::memory_order_relaxed))
        return false;
    ReleasePendingLocked();
    ChannelEntry* entry = FindEntry(id, channel);
    if (entry == nullptr)
        return false;
    const bool before = (entry->flags & kTakenOver) != 0;
    if (on) {
        entry->flags |= kTakenOver;
        m_overrideActive = true;
    } else {
        entry->flags &= static_cast<uint16_t>(~kTakenOver);
    }
    return before;
}

bool CMixStream::OverrideActive() const
{
    std::lock_guard lock(m_lock);
    const_cast<CMixStream*>(this)->ReleasePendingLocked();
    return m_overrideActive;
}

bool CMixStream::TakenOver(int32_t id, int channel) const
{
    std::lock_guard lock(m_lock);
    auto* self = const_cast<CMixStream*>(this);
    self->ReleasePendingLocked();
    const ChannelEntry* entry = self->FindEntry(id, channel);
    return entry != nullptr && (entry->flags & kTakenOver) != 0;
}

int32_t CMixStream::Track(int deck) const
{
    std::lock_guard lock(m_lock);
    return m_track[deck & 1];
}

int32_t CMixStream::CrossFader() const
{
    std::lock_guard lock(m_lock);
    return m_crossFader;
}

// ---- Seeking and markers -------------------------------------------------------------------

void CMixStream::RewindLocked() noexcept
{
    m_readPosition = 0;
    m_currentTick = 0;
    m_track = {-1, -1};
    for (auto& track : m_trackNow)
        track.store(-1, std::memory_order_release);
    std::fill(m_shadow.begin(), m_shadow.end(), kUnknown);
    m_crossFader = -1;
    m_runningPosition = {-1, -1};
    m_seekGeneration.fetch_add(1, std::memory_order_acq_rel);
}

void CMixStream::SeekLocked(uint32_t target) noexcept
{
    if (m_tickCount <= 2) {
        RewindLocked();
        return;
    }
    target = std::min(target, m_tickCount - 2);
    target -= target % kSeekStep;
    if (target < m_currentTick)
        RewindLocked();
    while (m_currentTick < target) {
        if (ReadTickLocked(true, false, nullptr, nullptr) != TickResult::Tick)
            break;
    }
    m_seekGeneration.fetch_add(1, std::memory_order_acq_rel);
    m_resyncPending.store(m_currentTick > 0, std::memory_order_release);
}

void CMixStream::SeekTick(uint32_t tick)
{
    std::lock_guard lock(m_lock);
    SeekLocked(tick);
}

void CMixStream::SeekForward(uint32_t steps)
{
    std::lock_guard lock(m_lock);
    const uint64_t target = static_cast<uint64_t>(m_currentTick) + uint64_t{kSeekStep} * steps;
    SeekLocked(static_cast<uint32_t>(std::min<uint64_t>(m_tickCount.load(), target)));
}

void CMixStream::SeekBackward(uint32_t steps)
{
    std::lock_guard lock(m_lock);
    const int64_t target = static_cast<int64_t>(m_currentTick) - int64_t{kSeekStep} * steps;
    SeekLocked(target < 0 ? 0 : static_cast<uint32_t>(target));
}

uint32_t CMixStream::MarkerTarget(uint32_t marker) const noexcept
{
    return (marker / kSeekStep + 1) * kSeekStep;
}

void CMixStream::SeekNextMarker()
{
    std::lock_guard lock(m_lock);
    for (int i = 0; i < m_markerCount; ++i) {
        if (uint64_t{m_currentTick.load()} + kSeekStep < m_markers[i]) {
            SeekLocked(MarkerTarget(m_markers[i]));
            return;
        }
    }
    SeekLocked(m_tickCount);
}

void CMixStream::SeekPreviousMarker()
{
    std::lock_guard lock(m_lock);
    for (int i = m_markerCount - 1; i >= 0; --i) {
        if (static_cast<int64_t>(m_markers[i]) < static_cast<int64_t>(m_currentTick) - 1024) {
            SeekLocked(MarkerTarget(m_markers[i]));
            return;
        }
    }
    SeekLocked(0);
}

bool CMixStream::TryRewind() noexcept
{
    std::unique_lock lock(m_lock, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    RewindLocked();
    return true;
}

std::vector<uint32_t> CMixStream::Markers() const
{
    std::lock_guard lock(m_lock);
    return {m_markers.begin(), m_markers.begin() + m_markerCount};
}

void CMixStream::CheckStreamLocked() noexcept
{
    // Read once to the end, so that a damaged mix is known as such before it plays: its tick
    // count ends at the first tick that cannot be read, and the replay, the markers and the
    // Time Line all stop there. Bytes left over after the last tick count as damage too: the
    // count or the stream is not what was written.
    RewindLocked();
    const uint32_t declared = m_tickCount.load();
    uint32_t ticks = 0;
    bool firstTick = false;
    while (ticks < declared && DecodeTick(false, firstTick) == Decode::Tick)
        ++ticks;
    if (ticks < declared || m_readPosition != m_stream.size()) {
        const uint32_t before = m_damagedAtTick.load(std::memory_order_relaxed);
        m_damagedAtTick.store(std::min(before, ticks), std::memory_order_release);
    }
    m_tickCount.store(ticks);
    RewindLocked();
}

void CMixStream::BuildMarkersLocked() noexcept
{
    const uint32_t earlier = m_currentTick;
    RewindLocked();
    m_markerCount = 0;
    if (ReadTickLocked(true, false, nullptr, nullptr) == TickResult::Tick) {
        auto previous = m_track;
        while (m_markerCount < kMaxMarkers && m_currentTick < m_tickCount) {
            const uint32_t tick = m_currentTick;
            if (ReadTickLocked(true, false, nullptr, nullptr) != TickResult::Tick)
                break;
            if (m_track != previous)
                m_markers[m_markerCount++] = tick;
            previous = m_track;
        }
    }
    SeekLocked(earlier);
}

// ---- Time Line and the tracks a mix needs --------------------------------------------------

void CMixStream::BuildTimeLine(CTimeLine& timeLine)
{
    struct Run {
        int32_t track = -1;
        int64_t firstAudible = -1;
        int64_t lastAudible = -1;
    };
    struct Block {
        int32_t deck;
        int32_t index;
        double startMs;
        double lengthMs;
    };
    std::vector<Block> blocks;
    std::lock_guard lock(m_lock);
    const uint32_t earlier = m_currentTick.load();
    RewindLocked();
    std::array<Run, 2> runs;
    auto flush = [&](int deck) {
        const Run& run = runs[deck];
        if (run.firstAudible >= 0 && run.track > 0) {
            const double startMs = static_cast<double>(run.firstAudible) * kTickMs;
            blocks.push_back(
                {deck, run.track - 1, startMs, static_cast<double>(run.lastAudible) * kTickMs - startMs});
        }
    };
    while (m_currentTick.load() < m_tickCount.load()) {
        const uint32_t tick = m_currentTick.load();
        if (ReadTickLocked(true, false, nullptr, nullptr) != TickResult::Tick)
            break;
        for (int deck = 0; deck < 2; ++deck) {
            Run& run = runs[deck];
            if (m_track[deck] != run.track) {
                flush(deck);
                run = Run{m_track[deck], -1, -1};
            }
            // Deck A is heard below 240 on the cross-fader, deck B above 16.
            const bool audible = deck == 0 ? m_crossFader < 240 : m_crossFader > 16;
            if (audible) {
                if (run.firstAudible < 0)
                    run.firstAudible = tick;
                run.lastAudible = tick;
            }
        }
    }
    flush(0);
    flush(1);
    std::stable_sort(blocks.begin(), blocks.end(),
                     [](const Block& a, const Block& b) { return a.startMs < b.startMs; });
    timeLine.Clear();
    for (const Block& block : blocks)
        timeLine.InsertAt(timeLine.Count(), block.deck, block.index, static_cast<int32_t>(block.startMs),
                          static_cast<int32_t>(block.lengthMs));
    SeekLocked(earlier);
}

std::vector<int32_t> CMixStream::TrackValues()
{
    std::vector<int32_t> values;
    std::lock_guard lock(m_lock);
    const uint32_t earlier = m_currentTick.load();
    RewindLocked();
    while (m_currentTick.load() < m_tickCount.load()) {
        if (ReadTickLocked(true, false, nullptr, nullptr) != TickResult::Tick)
            break;
        for (int32_t track : m_track) {
            if (track > 0 && std::find(values.begin(), values.end(), track) == values.end())
                values.push_back(track);
        }
    }
    SeekLocked(earlier);
    return values;
}
