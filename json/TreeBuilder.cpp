#include "json/TreeBuilder.h"

#include "json/jsonArray.h"
#include "json/jsonBool.h"
#include "json/jsonDouble.h"
#include "json/jsonInt.h"
#include "json/jsonNull.h"
#include "json/jsonObject.h"
#include "json/jsonString.h"

namespace json {

TreeBuilder::TreeBuilder(jsonObject& root) : root_(&root), rootIsObject_(true) {}

TreeBuilder::TreeBuilder(jsonArray& root) : root_(&root), rootIsObject_(false) {}

TreeBuilder::~TreeBuilder() = default;

void TreeBuilder::Name(std::wstring_view name) { name_.assign(name); }

void TreeBuilder::BeginObject() { Begin(true); }

void TreeBuilder::EndObject() { End(); }

void TreeBuilder::BeginArray() { Begin(false); }

void TreeBuilder::EndArray() { End(); }

void TreeBuilder::String(std::wstring_view text) {
    Add(std::make_unique<jsonString>(std::wstring(text)));
}

void TreeBuilder::Int(int32_t value) { Add(std::make_unique<jsonInt>(value)); }

void TreeBuilder::Double(double value) { Add(std::make_unique<jsonDouble>(value)); }

void TreeBuilder::Bool(bool value) { Add(std::make_unique<jsonBool>(value)); }

void TreeBuilder::Null() { Add(std::make_unique<jsonNull>()); }

void TreeBuilder::Begin(bool isObject) {
    if (open_.empty()) {
        open_.push_back({nullptr, root_, rootIsObject_, std::wstring()});
        return;
    }
    std::unique_ptr<jsonBase> container;
    jsonCollection* target = nullptr;
    if (isObject) {
        auto object = std::make_unique<jsonObject>();
        target = object.get();
        container = std::move(object);
    } else {
        auto array = std::make_unique<jsonArray>();
        target = array.get();
        container = std::move(array);
    }
    open_.push_back({std::move(container), target, isObject, std::move(name_)});
}

void TreeBuilder::End() {
    if (open_.empty()) return;
    Open closed = std::move(open_.back());
    open_.pop_back();
    if (!closed.owned) return;  // the root
    name_ = std::move(closed.name);
    Add(std::move(closed.owned));
}

void TreeBuilder::Add(std::unique_ptr<jsonBase> value) {
    if (open_.empty()) return;
    Open& parent = open_.back();
    if (parent.isObject) {
        static_cast<jsonObject*>(parent.container)->Set(name_, std::move(value));
    } else {
        static_cast<jsonArray*>(parent.container)->Add(std::move(value));
    }
}

}  // namespace json
