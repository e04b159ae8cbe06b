#pragma once

#include <string>

// A fresh folder under $TMPDIR (or /tmp) for the files one test writes, removed with everything
// in it when the object goes. When the folder cannot be made, Root() is empty and Path() names
// a file in a folder that does not exist: writing fails, so the test fails rather than
// littering a shared folder.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Root() const { return m_root; }
    // The path of a file or folder named name inside the folder.
    std::string Path(const std::string& name) const;

private:
    std::string m_root; // absolute, without trailing '/'; empty when mkdtemp failed
};
