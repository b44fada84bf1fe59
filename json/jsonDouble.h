#pragma once

#include "json/jsonBase.h"

namespace json {

// Doubles only arise from parsing a number with a decimal point.
class jsonDouble : public jsonBase {
  public:
    explicit jsonDouble(double value) : value_(value) {}

    void WriteAs(std::wostream& out, Syntax syntax) const override;
    jsonDouble* Clone() const override { return new jsonDouble(*this); }
    int Type() const override { return TypeDouble; }

    double Value() const { return value_; }

  private:
    double value_;
};

}  // namespace json
