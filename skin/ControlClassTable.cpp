#include "ControlClassTable.h"

#include "SkinControl.h"

#include <utility>
#include <vector>

namespace {

std::vector<std::pair<CControlClassTable::NameFunction, CControlClassTable::Factory>>& Table()
{
    static std::vector<std::pair<CControlClassTable::NameFunction, CControlClassTable::Factory>> table;
    return table;
}

} // namespace

void CControlClassTable::RegisterControlClass(NameFunction name, Factory factory)
{
    Table().emplace_back(name, factory);
}

std::unique_ptr<CSkinControl> CControlClassTable::Create(std::string_view name)
{
    for (const auto& [nameFunction, factory] : Table()) {
        if (name == nameFunction())
            return factory();
    }
    return nullptr;
}

size_t CControlClassTable::Count()
{
    return Table().size();
}

void CControlClassTable::Clear()
{
    Table().clear();
}
