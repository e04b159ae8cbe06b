#include "MixStream.h"

#include <string_view>

void CMixStream::RegisterChannels(CControlTable& table)
{
    std::lock_guard lock(m_lock);
    m_channels.RegisterChannels(table);
}

void CMixStream::Register(CControlFunction& function, bool overridable)
{
    std::lock_guard lock(m_lock);
    m_channels.Register(function, overridable);
}

// ---- Container and text --------------------------------------------------------------------

void CMixStream::StartStreamLocked() noexcept
{
    m_reader.Start(m_file.ReadableTickCount(), m_file.DamagedAtTick());
    m_builder.BuildMarkers();
}

bool CMixStream::Load(const char* path, CPlaylist* playlist)
{
    std::lock_guard lock(m_lock);
    m_reader.Clear();
    if (!m_file.Load(path, playlist))
        return false;
    StartStreamLocked();
    return true;
}

std::string CMixStream::LoadError() const
{
    std::lock_guard lock(m_lock);
    return m_file.LoadError();
}

bool CMixStream::Save(const char* path, CPlaylist& playlist)
{
    std::lock_guard lock(m_lock);
    return m_file.Save(path, playlist);
}

void CMixStream::SetStream(std::vector<uint8_t> stream, uint32_t tickCount)
{
    std::lock_guard lock(m_lock);
    m_reader.Clear();
    m_file.SetStream(std::move(stream), tickCount);
    StartStreamLocked();
}

std::vector<uint8_t> CMixStream::Stream() const
{
    std::lock_guard lock(m_lock);
    return m_file.Stream();
}

void CMixStream::Clear()
{
    std::lock_guard lock(m_lock);
    m_reader.Clear();
    m_file.Clear();
}

void CMixStream::SetTitle(const std::string& title)
{
    std::lock_guard lock(m_lock);
    m_file.SetTitle(title);
}

void CMixStream::SetComment(const std::string& comment)
{
    std::lock_guard lock(m_lock);
    m_file.SetComment(comment);
}

void CMixStream::SetPath(const std::string& path)
{
    std::lock_guard lock(m_lock);
    m_file.SetPath(path);
}

std::string CMixStream::Title() const
{
    std::lock_guard lock(m_lock);
    return m_file.Title();
}

void CMixStream::CopyTitle(std::string& out) const
{
    std::lock_guard lock(m_lock);
    const std::string& title = m_file.StoredTitle();
    out.assign(title.empty() ? std::string_view("untitled") : std::string_view(title));
}

std::string CMixStream::Comment() const
{
    std::lock_guard lock(m_lock);
    return m_file.Comment();
}

std::string CMixStream::Path() const
{
    std::lock_guard lock(m_lock);
    return m_file.Path();
}

// ---- Reading ticks -------------------------------------------------------------------------

bool CMixStream::ReadTick(bool advance, bool apply, int32_t* positionA, int32_t* positionB)
{
    std::lock_guard lock(m_lock);
    return m_reader.ReadTick(advance, apply, positionA, positionB) == TickResult::Tick;
}

CMixStream::TickResult CMixStream::TryReadTick(bool advance, bool apply, int32_t* positionA,
                                               int32_t* positionB) noexcept
{
    std::unique_lock lock(m_lock, std::try_to_lock);
    if (!lock.owns_lock())
        return TickResult::Busy;
    return m_reader.ReadTick(advance, apply, positionA, positionB);
}

bool CMixStream::TryRewind() noexcept
{
    std::unique_lock lock(m_lock, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    m_reader.Rewind();
    return true;
}

// ---- Play and take-over --------------------------------------------------------------------

void CMixStream::Play(bool on) noexcept
{
    if (on)
        m_channels.RequestRelease();
    m_reader.SetPlaying(on);
}

void CMixStream::TakeOverAll(bool on)
{
    std::lock_guard lock(m_lock);
    m_channels.ReleasePending();
    m_channels.TakeOverAll(on);
}

bool CMixStream::TakeOver(int32_t id, int channel, bool on)
{
    std::lock_guard lock(m_lock);
    if (!m_reader.Playing())
        return false;
    m_channels.ReleasePending();
    return m_channels.TakeOver(id, channel, on);
}

bool CMixStream::OverrideActive() const
{
    std::lock_guard lock(m_lock);
    m_channels.ReleasePending();
    return m_channels.OverrideActive();
}

bool CMixStream::TakenOver(int32_t id, int channel) const
{
    std::lock_guard lock(m_lock);
    m_channels.ReleasePending();
    return m_channels.TakenOver(id, channel);
}

// ---- Seeking and markers -------------------------------------------------------------------

void CMixStream::SeekTick(uint32_t tick)
{
    std::lock_guard lock(m_lock);
    m_reader.Seek(tick);
}

void CMixStream::SeekForward(uint32_t steps)
{
    std::lock_guard lock(m_lock);
    m_reader.SeekForward(steps);
}

void CMixStream::SeekBackward(uint32_t steps)
{
    std::lock_guard lock(m_lock);
    m_reader.SeekBackward(steps);
}

void CMixStream::SeekNextMarker()
{
    std::lock_guard lock(m_lock);
    m_reader.SeekNextMarker();
}

void CMixStream::SeekPreviousMarker()
{
    std::lock_guard lock(m_lock);
    m_reader.SeekPreviousMarker();
}

std::vector<uint32_t> CMixStream::Markers() const
{
    std::lock_guard lock(m_lock);
    return m_reader.MarkerList();
}

int32_t CMixStream::Track(int deck) const
{
    std::lock_guard lock(m_lock);
    return m_reader.Track(deck);
}

int32_t CMixStream::CrossFader() const
{
    std::lock_guard lock(m_lock);
    return m_reader.CrossFader();
}

// ---- Time Line and the tracks a mix needs --------------------------------------------------

void CMixStream::BuildTimeLine(CTimeLine& timeLine)
{
    std::lock_guard lock(m_lock);
    m_builder.BuildTimeLine(timeLine);
}

std::vector<int32_t> CMixStream::TrackValues()
{
    std::lock_guard lock(m_lock);
    return m_builder.TrackValues();
}
