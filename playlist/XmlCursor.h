#pragma once

#include <string>

struct _xmlNode;

// A position in a CXmlDocument's tree: the element there, its properties, and moves to its
// first child element, next sibling element and parent. Text is UTF-8. Reading never expands
// entity references: only the literal text of a property or element is taken, so a hostile
// document cannot make a small file into a huge string.
class CXmlCursor {
public:
    CXmlCursor() = default;
    explicit CXmlCursor(_xmlNode* node) : m_node(node) {}

    bool Valid() const { return m_node != nullptr; }
    // The element's name, "" when not valid.
    std::string Name() const;
    bool NameIs(const char* name) const;
    // Moves; the cursor becomes invalid when there is no such element.
    CXmlCursor FirstChild() const;
    CXmlCursor NextSibling() const;
    CXmlCursor Parent() const;

    // False when the element has no such property (out unchanged).
    bool Property(const char* name, std::string& out) const;
    // atoi's result, clamped to int where atoi's would be undefined.
    bool IntProperty(const char* name, int& out) const;
    // atof's result.
    bool FloatProperty(const char* name, double& out) const;
    // The text and CDATA directly inside the element.
    std::string Text() const;

    void SetProperty(const char* name, const std::string& value);
    void SetIntProperty(const char* name, long long value);
    // digits significant digits; a whole number ends with ".", as lists have always held them.
    void SetFloatProperty(const char* name, double value, int digits);
    // A new last child element, with text when text is not null; the cursor moves into it when
    // enter is set. Returns the child.
    CXmlCursor AddChild(const char* name, const std::string* text = nullptr, bool enter = false);

    // "120.", "0.100000001", "1.e+20" for (value, digits).
    static std::string FormatFloat(double value, int digits);

private:
    _xmlNode* m_node = nullptr; // owned by the document, which outlives the cursor
};
