#include "MixFile.h"

#include "FileReplacer.h"
#include "MixByteReader.h"
#include "MixReference.h"
#include "Playlist.h"
#include "XmlPlaylist.h"

#include <algorithm>
#include <array>
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

void CMixFile::ClearStream() noexcept
{
    m_stream.clear();
    m_declaredTickCount = 0;
    m_readableTickCount = 0;
    m_damagedAtTick = CMixTickDecoder::kIntact;
}

void CMixFile::Clear()
{
    ClearStream();
    m_title.clear();
    m_comment.clear();
}

bool CMixFile::Load(const char* path, CPlaylist* playlist)
{
    ClearStream();
    if (playlist != nullptr) {
        m_title.clear();
        m_comment.clear();
    }
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
    CMixByteReader reader(file, 1 + kMagicLength);
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
    if (version > 1) {
        // A damaged end leaves an empty mix; the list read above stays.
        uint32_t length = 0;
        const size_t at = reader.Position();
        if (!reader.Read(1, length) || length != 3 || file.size() - at < 4 ||
            std::memcmp(file.data() + at + 1, kTrailer, 3) != 0) {
            m_stream.clear();
            m_declaredTickCount = 0;
            m_damagedAtTick = 0;
        }
    }
    const std::string name = std::filesystem::path(path).stem().string();
    if (m_title.empty() && strcasecmp(name.c_str(), "last") != 0)
        m_title = name;
    m_path = path;
    CheckStream();
    return true;
}

bool CMixFile::Save(const char* path, CPlaylist& playlist)
{
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

void CMixFile::SetStream(std::vector<uint8_t> stream, uint32_t tickCount)
{
    ClearStream();
    m_stream = std::move(stream);
    m_declaredTickCount = tickCount;
    CheckStream();
}

void CMixFile::CheckStream() noexcept
{
    // Read once to the end, so that a damaged mix is known as such before it plays: it ends at
    // the first tick that cannot be read, and the replay, the markers and the Time Line all stop
    // there. Bytes left over after the last tick count as damage too: the count or the stream
    // is not what was written.
    std::array<int32_t, 2> positions{-1, -1};
    uint32_t position = 0;
    uint32_t ticks = 0;
    while (ticks < m_declaredTickCount) {
        CMixTickDecoder tick(m_stream, position);
        if (!tick.SkipTick(positions))
            break;
        position = tick.NextTick();
        ++ticks;
    }
    if (ticks < m_declaredTickCount || position != m_stream.size())
        m_damagedAtTick = std::min(m_damagedAtTick, ticks);
    m_readableTickCount = ticks;
}
