#include "document/Doc.h"

void Doc::SetRecentFile(std::wstring path) {
    recentFile_ = std::move(path);
    if (recentView_) recentView_->ShowRecentFile(recentFile_);
}

void Doc::SetRecentFileView(RecentFileView* view) {
    recentView_ = view;
    if (recentView_) recentView_->ShowRecentFile(recentFile_);
}
