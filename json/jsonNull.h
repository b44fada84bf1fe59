#pragma once

#include "json/jsonBase.h"

namespace json {

class jsonNull : public jsonBase {
  public:
    jsonNull() = default;

    void WriteAs(std::wostream& out, Syntax syntax) const override;
    jsonNull* Clone() const override { return new jsonNull(*this); }
    int Type() const override { return TypeNull; }
};

}  // namespace json
