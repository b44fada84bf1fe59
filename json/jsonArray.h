#pragma once

#include <memory>
#include <vector>

#include "json/jsonCollection.h"

namespace json {

class jsonObject;

// Elements of any type in insertion order.
class jsonArray : public jsonCollection {
  public:
    jsonArray() = default;
    jsonArray(const jsonArray& other);  // deep copy
    jsonArray& operator=(const jsonArray& other);
    jsonArray(jsonArray&&) noexcept = default;
    jsonArray& operator=(jsonArray&&) noexcept = default;
    ~jsonArray() override = default;

    void WriteAs(std::wostream& out, Syntax syntax) const override;
    jsonArray* Clone() const override { return new jsonArray(*this); }
    int Type() const override { return TypeArray; }
    void Visit(const Visitor& callback) const override;

    // Appends a new empty object for the caller to fill; the array owns it.
    jsonObject* AddObject();
    // Takes ownership; a null pointer appends a JSON null.
    void Add(std::unique_ptr<jsonBase> value);

    size_t Count() const { return elements_.size(); }
    // Null when the index is out of range.
    const jsonBase* At(size_t index) const;

  private:
    std::vector<std::unique_ptr<jsonBase>> elements_;
};

}  // namespace json
