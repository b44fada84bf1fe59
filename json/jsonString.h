#pragma once

#include <string>

#include "json/jsonBase.h"

namespace json {

class jsonString : public jsonBase {
  public:
    explicit jsonString(std::wstring value) : value_(std::move(value)) {}

    void WriteAs(std::wostream& out, Syntax syntax) const override;
    jsonString* Clone() const override { return new jsonString(*this); }
    int Type() const override { return TypeString; }

    const std::wstring& Value() const { return value_; }

  private:
    std::wstring value_;
};

}  // namespace json
