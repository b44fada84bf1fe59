#pragma once

#include <cstdint>

#include "json/jsonBase.h"

namespace json {

class jsonInt : public jsonBase {
  public:
    explicit jsonInt(int32_t value) : value_(value) {}

    void WriteAs(std::wostream& out, Syntax syntax) const override;
    jsonInt* Clone() const override { return new jsonInt(*this); }
    int Type() const override { return TypeInt; }

    int32_t Value() const { return value_; }

  private:
    int32_t value_;
};

}  // namespace json
