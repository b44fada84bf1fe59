#pragma once

#include <memory>
#include <string>
#include <vector>

#include "json/ParseHandler.h"

namespace json {

class jsonArray;
class jsonBase;
class jsonCollection;
class jsonObject;

// Builds the value tree of what the parser finds into a root object or array
// that the caller owns. A nested container joins its parent only once it has
// parsed whole, so after a failure the root holds the members read before it
// and nothing of the container that failed.
class TreeBuilder final : public ParseHandler {
  public:
    explicit TreeBuilder(jsonObject& root);
    explicit TreeBuilder(jsonArray& root);
    ~TreeBuilder();

    void Name(std::wstring_view name) override;
    void BeginObject() override;
    void EndObject() override;
    void BeginArray() override;
    void EndArray() override;
    void String(std::wstring_view text) override;
    void Int(int32_t value) override;
    void Double(double value) override;
    void Bool(bool value) override;
    void Null() override;

  private:
    struct Open {
        std::unique_ptr<jsonBase> owned;  // none for the root
        jsonCollection* container;
        bool isObject;
        std::wstring name;  // under which it joins its parent object
    };
    void Begin(bool isObject);
    void End();
    void Add(std::unique_ptr<jsonBase> value);

    jsonCollection* root_;
    bool rootIsObject_;
    std::vector<Open> open_;
    std::wstring name_;
};

}  // namespace json
