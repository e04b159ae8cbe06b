#include "XmlCursor.h"

#include <libxml/tree.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

const xmlChar* Chars(const char* text)
{
    return reinterpret_cast<const xmlChar*>(text);
}

bool IsElement(const xmlNode* node)
{
    return node != nullptr && node->type == XML_ELEMENT_NODE;
}

xmlNode* SkipToElement(xmlNode* node)
{
    while (node != nullptr && !IsElement(node))
        node = node->next;
    return node;
}

// The literal text of a node list: entity references are left out, never expanded.
std::string LiteralText(const xmlNode* node)
{
    std::string text;
    for (; node != nullptr; node = node->next) {
        if ((node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) && node->content != nullptr)
            text += reinterpret_cast<const char*>(node->content);
    }
    return text;
}

} // namespace

std::string CXmlCursor::Name() const
{
    return m_node != nullptr && m_node->name != nullptr ? reinterpret_cast<const char*>(m_node->name) : "";
}

bool CXmlCursor::NameIs(const char* name) const
{
    return m_node != nullptr && m_node->name != nullptr && xmlStrcmp(m_node->name, Chars(name)) == 0;
}

CXmlCursor CXmlCursor::FirstChild() const
{
    return CXmlCursor(m_node != nullptr ? SkipToElement(m_node->children) : nullptr);
}

CXmlCursor CXmlCursor::NextSibling() const
{
    return CXmlCursor(m_node != nullptr ? SkipToElement(m_node->next) : nullptr);
}

CXmlCursor CXmlCursor::Parent() const
{
    xmlNode* parent = m_node != nullptr ? m_node->parent : nullptr;
    return CXmlCursor(IsElement(parent) ? parent : nullptr);
}

bool CXmlCursor::Property(const char* name, std::string& out) const
{
    if (m_node == nullptr)
        return false;
    // Walks the element's own attributes: xmlHasProp would also answer with a default
    // declared in the document's DTD.
    for (const xmlAttr* attribute = m_node->properties; attribute != nullptr; attribute = attribute->next) {
        if (attribute->name != nullptr && xmlStrcmp(attribute->name, Chars(name)) == 0) {
            out = LiteralText(attribute->children);
            return true;
        }
    }
    return false;
}

bool CXmlCursor::IntProperty(const char* name, int& out) const
{
    std::string text;
    if (!Property(name, text))
        return false;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    out = static_cast<int>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
    return true;
}

bool CXmlCursor::FloatProperty(const char* name, double& out) const
{
    std::string text;
    if (!Property(name, text))
        return false;
    out = std::atof(text.c_str());
    return true;
}

std::string CXmlCursor::Text() const
{
    return m_node != nullptr ? LiteralText(m_node->children) : std::string();
}

void CXmlCursor::SetProperty(const char* name, const std::string& value)
{
    if (m_node != nullptr)
        xmlSetProp(m_node, Chars(name), Chars(value.c_str()));
}

void CXmlCursor::SetIntProperty(const char* name, long long value)
{
    SetProperty(name, std::to_string(value));
}

void CXmlCursor::SetFloatProperty(const char* name, double value, int digits)
{
    SetProperty(name, FormatFloat(value, digits));
}

CXmlCursor CXmlCursor::AddChild(const char* name, const std::string* text, bool enter)
{
    if (m_node == nullptr)
        return CXmlCursor();
    // xmlNewTextChild escapes the text; xmlNewChild would read "&" in it as markup.
    xmlNode* child =
        xmlNewTextChild(m_node, nullptr, Chars(name), text != nullptr ? Chars(text->c_str()) : nullptr);
    if (enter)
        m_node = child;
    return CXmlCursor(child);
}

std::string CXmlCursor::FormatFloat(double value, int digits)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (!std::isfinite(value))
        return text;
    const std::string_view result = text;
    if (result.find('.') != std::string_view::npos)
        return std::string(result);
    // The whole-number form keeps its decimal point, before the exponent if there is one.
    const size_t exponent = std::min(result.find('e'), result.size());
    return std::string(result.substr(0, exponent)) + "." + std::string(result.substr(exponent));
}
