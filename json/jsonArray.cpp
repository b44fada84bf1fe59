#include "json/jsonArray.h"

#include "json/jsonNull.h"
#include "json/jsonObject.h"

namespace json {

jsonArray::jsonArray(const jsonArray& other) : jsonCollection(other) {
    elements_.reserve(other.elements_.size());
    for (const auto& element : other.elements_) elements_.emplace_back(element->Clone());
}

jsonArray& jsonArray::operator=(const jsonArray& other) {
    if (this != &other) {
        jsonArray copy(other);
        elements_.swap(copy.elements_);
    }
    return *this;
}

void jsonArray::WriteAs(std::wostream& out, Syntax syntax) const {
    out.put(L'[');
    for (size_t i = 0; i < elements_.size(); ++i) {
        if (i > 0) out.put(L',');
        elements_[i]->WriteAs(out, syntax);
    }
    out.put(L']');
}

void jsonArray::Visit(const Visitor& callback) const {
    for (const auto& element : elements_) {
        callback(*element);
        if (element->Type() == TypeObject || element->Type() == TypeArray) {
            static_cast<const jsonCollection&>(*element).Visit(callback);
        }
    }
}

jsonObject* jsonArray::AddObject() {
    auto object = std::make_unique<jsonObject>();
    jsonObject* added = object.get();
    elements_.push_back(std::move(object));
    return added;
}

void jsonArray::Add(std::unique_ptr<jsonBase> value) {
    if (!value) value = std::make_unique<jsonNull>();
    elements_.push_back(std::move(value));
}

const jsonBase* jsonArray::At(size_t index) const {
    return index < elements_.size() ? elements_[index].get() : nullptr;
}

}  // namespace json
