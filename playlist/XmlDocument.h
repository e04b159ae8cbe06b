#pragma once

#include "XmlCursor.h"

#include <string>

struct _xmlDoc;

// An XML document over libxml2's tree interface: created with a root element or parsed from a
// file, saved in one piece. Parsing never touches the network, loads no external DTD and
// substitutes no entities: a list from a CD or the internet must not read local files.
class CXmlDocument {
public:
    static constexpr size_t kMaxFileBytes = 64u << 20; // far above any list of 999 entries

    CXmlDocument() = default;
    ~CXmlDocument();
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;

    // A new document, version "1.0", with an empty root element of that name.
    bool Create(const char* rootName);
    // False when the file cannot be read or is not well-formed XML.
    bool Parse(const std::string& path);
    bool ParseMemory(const char* bytes, size_t size, const std::string& url = {});
    // The document declared and encoded as encoding; characters it lacks become character
    // references.
    bool SaveToString(std::string& out, const char* encoding = "ISO-8859-1") const;
    // Through a temporary file beside path, so a failed save leaves the old file whole.
    bool Save(const std::string& path, const char* encoding = "ISO-8859-1") const;

    CXmlCursor Root() const;
    bool Loaded() const { return m_doc != nullptr; }

private:
    void Free();

    _xmlDoc* m_doc = nullptr;
};
