#include "TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

CTempDir::CTempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (base != nullptr && *base != '\0') ? base : "/tmp";
    pattern += "/quandel-test-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) != nullptr)
        m_root = name.data();
}

CTempDir::~CTempDir()
{
    if (m_root.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::string CTempDir::Path(const std::string& name) const
{
    return m_root.empty() ? std::string("/nonexistent-temp-dir/") + name : m_root + "/" + name;
}
