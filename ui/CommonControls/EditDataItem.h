#pragma once

#include "protocol/DataItem.h"
#include "ui/CommonControls/EditValidator.h"

namespace CommonControls {

// An edit for a value of one DataItem type: valid exactly when an item of
// that type accepts the text.
class EditDataItem : public EditValidator {
  public:
    explicit EditDataItem(DataItem::Type type);
    DataItem::Type Type() const { return type_; }

  private:
    DataItem::Type type_;
};

}  // namespace CommonControls
