#pragma once

#include "json/jsonBase.h"

namespace json {

class jsonBool : public jsonBase {
  public:
    explicit jsonBool(bool value) : value_(value) {}

    void WriteAs(std::wostream& out, Syntax syntax) const override;
    jsonBool* Clone() const override { return new jsonBool(*this); }
    int Type() const override { return TypeBool; }

    bool Value() const { return value_; }

  private:
    bool value_;
};

}  // namespace json
