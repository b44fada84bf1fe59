#pragma once

#include <atomic>
#include <string>

#include "document/FileHandler.h"

// Where the File menu shows the recent file; the main window implements it
// over its menu handle and item id.
class RecentFileView {
  public:
    // The entry's text becomes the path; it is enabled exactly when the path
    // is not empty.
    virtual void ShowRecentFile(const std::wstring& path) = 0;

  protected:
    ~RecentFileView() = default;
};

// A document with a file: its path (the FileHandler's, empty for a new
// document), the recent file and the modified mark.
class Doc : public FileHandler {
  public:
    Doc() = default;
    Doc(const Doc&) = delete;
    Doc& operator=(const Doc&) = delete;

    const std::wstring& RecentFile() const { return recentFile_; }
    void SetRecentFile(std::wstring path);
    // Shows the current recent file at once and after every change.
    void SetRecentFileView(RecentFileView* view);

    // Set by every change of the set-up, also from the web server's threads.
    bool IsModified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }

  protected:
    ~Doc() = default;

  private:
    std::wstring recentFile_;
    RecentFileView* recentView_ = nullptr;
    std::atomic<bool> modified_{false};
};
