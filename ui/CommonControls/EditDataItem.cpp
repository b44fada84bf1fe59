#include "ui/CommonControls/EditDataItem.h"

namespace CommonControls {

EditDataItem::EditDataItem(DataItem::Type type)
    : EditValidator([type](const std::wstring& text) {
          DataItem scratch(type);
          return scratch.SetFromText(text);
      }),
      type_(type) {}

}  // namespace CommonControls
