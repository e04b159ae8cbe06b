#include "PlaylistTestSupport.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

void WriteTrackFile(const std::string& path, size_t audioBytes, const Id3Fields* tag)
{
    std::string bytes(audioBytes, '\0');
    for (size_t i = 0; i < audioBytes; ++i)
        bytes[i] = static_cast<char>(i % 4 == 0 ? 0xFF : (i * 37) & 0x7F);
    if (tag != nullptr) {
        std::array<char, 128> block{};
        std::memcpy(block.data(), "TAG", 3);
        auto put = [&](size_t at, const std::string& text, size_t width) {
            std::memcpy(block.data() + at, text.data(), std::min(text.size(), width));
        };
        put(3, tag->title, 30);
        put(33, tag->artist, 30);
        put(63, tag->album, 30);
        put(93, "1999", 4);
        put(97, tag->comment, 30);
        if (tag->track >= 0) {
            block[125] = 0;
            block[126] = static_cast<char>(tag->track);
        } else if (block[125] == 0) {
            block[125] = ' ';
        }
        block[127] = static_cast<char>(tag->genre);
        bytes.append(block.data(), block.size());
    }
    WriteFile(path, bytes);
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool MakeFolder(const std::string& path)
{
    return mkdir(path.c_str(), 0755) == 0;
}

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool MakeFifo(const std::string& path)
{
    return mkfifo(path.c_str(), 0644) == 0;
}

bool ReturnsWithin(const std::function<void()>& call, const std::string& fifo, std::chrono::seconds deadline)
{
    std::future<void> done = std::async(std::launch::async, call);
    if (done.wait_for(deadline) == std::future_status::ready)
        return true;
    // Opening the other end wakes a reader blocked in open(2); with the writer gone again its
    // reads see the end of the file.
    const int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (writer >= 0)
        close(writer);
    done.wait_for(deadline);
    return false;
}

std::string OverlongName(const std::string& extension)
{
    return std::string(1000 - extension.size(), 'n') + extension;
}

std::string CommandOutput(const std::string& command, bool& ok)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    ok = pipe != nullptr;
    if (pipe == nullptr)
        return output;
    std::array<char, 4096> buffer{};
    size_t got = 0;
    while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        output.append(buffer.data(), got);
    ok = pclose(pipe) == 0;
    return output;
}

CFileSizeCap::CFileSizeCap(uint64_t maxBytes)
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_oldSoft = limit.rlim_cur;
    limit.rlim_cur = maxBytes;
    setrlimit(RLIMIT_FSIZE, &limit);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
}

CFileSizeCap::~CFileSizeCap()
{
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = m_oldSoft;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_oldHandler);
}
