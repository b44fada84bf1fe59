#pragma once

#include <functional>

#include "json/jsonBase.h"

namespace json {

// The callback of Visit sees every value below a container, parent before children.
using Visitor = std::function<void(const jsonBase&)>;

// Common base of the two containers.
class jsonCollection : public jsonBase {
  public:
    // Walks the members in order (objects by name, arrays by index), calling the
    // callback for each member and then descending into it if it is a container.
    virtual void Visit(const Visitor& callback) const = 0;

  protected:
    jsonCollection() = default;
    jsonCollection(const jsonCollection&) = default;
    jsonCollection& operator=(const jsonCollection&) = default;
};

}  // namespace json
