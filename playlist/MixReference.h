#pragma once

#include <string>

// What an XML list carries about the mix saved with it: the mix's title, comment and the path
// of its Mix-File. The Mix-File code fills one from its mix before saving a list with it and
// reads one back after loading a list; a list without a mix leaves path empty.
struct MixReference {
    std::string title;   // "" = none (shown as "untitled")
    std::string comment; // "" = none
    std::string path;    // full path of the .qzx file; "" = the list carries no mix
};
