#pragma once

#include <map>
#include <string>

// The string table's texts, loaded on first use and kept for the object's
// life. A missing string is the empty text.
class ResourceStrings {
  public:
    const std::wstring& Get(unsigned id) const;

  private:
    mutable std::map<unsigned, std::wstring> cache_;
};
