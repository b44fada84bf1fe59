#include "document/TrafficLog.h"

#include "common/CodePage.h"
#include "document/FileSystem.h"

bool TrafficLog::Append(const std::wstring& line) const {
    if (path_.empty()) return false;
    return FileSystem::AppendToFile(path_, CodePage::NarrowFromWide(line) + FileSystem::TextLineEnd());
}
