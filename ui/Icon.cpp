#include "ui/Icon.h"

#include <QFile>

#include <map>
#include <string>
#include <vector>

namespace {

// Handles are indexes + 1 into the paths; the table only grows, so a handle never goes stale. Only
// paths are kept, never Qt objects, so nothing here outlives the QApplication.
struct IconTable {
    std::map<int, std::string> resources;
    std::vector<std::string> loaded;
};

IconTable& Table()
{
    static IconTable table;
    return table;
}

} // namespace

void RegisterIconResource(int resourceId, const char* path)
{
    Table().resources[resourceId] = path ? path : "";
}

HICON LoadIcon(int resourceId)
{
    IconTable& table = Table();
    auto found = table.resources.find(resourceId);
    if (found == table.resources.end() || !QFile::exists(QString::fromStdString(found->second)))
        return NullIcon;
    for (std::size_t i = 0; i < table.loaded.size(); ++i) {
        if (table.loaded[i] == found->second)
            return static_cast<HICON>(i + 1);
    }
    table.loaded.push_back(found->second);
    return static_cast<HICON>(table.loaded.size());
}

const char* IconPath(HICON icon)
{
    const auto index = static_cast<std::intptr_t>(icon);
    const IconTable& table = Table();
    if (index <= 0 || static_cast<std::size_t>(index) > table.loaded.size())
        return nullptr;
    return table.loaded[static_cast<std::size_t>(index - 1)].c_str();
}
