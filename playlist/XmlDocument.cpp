#include "XmlDocument.h"

#include "Fd.h"
#include "FileReplacer.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cerrno>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Lists never need anything from outside their own bytes. Refusing every external load in
// the process closes the door even if a later libxml2 or an option ever tried to fetch a DTD
// or an external entity; the documents themselves are read from memory, so nothing needs it.
xmlParserInputPtr RefuseExternal(const char*, const char*, xmlParserCtxtPtr)
{
    return nullptr;
}

void InstallRefusingLoader()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(RefuseExternal);
    });
}

bool ReadWholeFile(const std::string& path, std::vector<char>& bytes)
{
    int error = 0;
    const CFd fd = OpenRegularFile(path, error);
    if (!fd.Valid())
        return false;
    struct stat info {};
    bool ok = fstat(fd.Get(), &info) == 0 && static_cast<size_t>(info.st_size) <= CXmlDocument::kMaxFileBytes;
    if (ok) {
        bytes.resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = read(fd.Get(), bytes.data() + done, bytes.size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                ok = false;
                break;
            }
            done += static_cast<size_t>(got);
        }
    }
    return ok;
}

} // namespace

CXmlDocument::~CXmlDocument()
{
    Free();
}

void CXmlDocument::Free()
{
    if (m_doc != nullptr) {
        xmlFreeDoc(m_doc);
        m_doc = nullptr;
    }
}

bool CXmlDocument::Create(const char* rootName)
{
    InstallRefusingLoader();
    Free();
    m_doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    if (m_doc == nullptr)
        return false;
    xmlNode* root = xmlNewDocNode(m_doc, nullptr, reinterpret_cast<const xmlChar*>(rootName), nullptr);
    if (root == nullptr) {
        Free();
        return false;
    }
    xmlDocSetRootElement(m_doc, root);
    return true;
}

bool CXmlDocument::Parse(const std::string& path)
{
    std::vector<char> bytes;
    if (!ReadWholeFile(path, bytes)) {
        Free();
        return false;
    }
    return ParseMemory(bytes.data(), bytes.size(), path);
}

bool CXmlDocument::ParseMemory(const char* bytes, size_t size, const std::string& url)
{
    InstallRefusingLoader();
    Free();
    if (size > kMaxFileBytes)
        return false;
    // No XML_PARSE_NOENT (entities stay references), no XML_PARSE_DTDLOAD or DTDATTR, no
    // XML_PARSE_HUGE (libxml2's limits against entity amplification stay on).
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    m_doc =
        xmlReadMemory(bytes, static_cast<int>(size), url.empty() ? nullptr : url.c_str(), nullptr, options);
    return m_doc != nullptr;
}

bool CXmlDocument::SaveToString(std::string& out, const char* encoding) const
{
    if (m_doc == nullptr)
        return false;
    xmlChar* memory = nullptr;
    int size = 0;
    xmlDocDumpFormatMemoryEnc(m_doc, &memory, &size, encoding, 1);
    if (memory == nullptr || size <= 0) {
        xmlFree(memory);
        return false;
    }
    out.assign(reinterpret_cast<const char*>(memory), static_cast<size_t>(size));
    xmlFree(memory);
    return true;
}

bool CXmlDocument::Save(const std::string& path, const char* encoding) const
{
    std::string bytes;
    return SaveToString(bytes, encoding) && CFileReplacer::Replace(path, bytes);
}

CXmlCursor CXmlDocument::Root() const
{
    return CXmlCursor(m_doc != nullptr ? xmlDocGetRootElement(m_doc) : nullptr);
}
