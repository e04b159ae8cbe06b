#pragma once

#include <memory>
#include <string_view>

class CSkinControl;

// The process-wide table of control classes by which forms create their controls: pairs of a
// name function and a factory, looked up by exact, case-sensitive name in registration order.
class CControlClassTable {
public:
    using NameFunction = const char* (*)();
    using Factory = std::unique_ptr<CSkinControl> (*)();

    static void RegisterControlClass(NameFunction name, Factory factory);
    // A new control of the named class, or null when no class has that name.
    static std::unique_ptr<CSkinControl> Create(std::string_view name);
    static size_t Count();
    static void Clear();
};

// Registers the nine skin control classes in their fixed order (once per process; a second call
// adds nothing).
void RegisterSkinControlClasses();
