// Reads a dialog template resource (DLGTEMPLATEEX, as the resource compiler
// writes DIALOGEX) into plain values, so that a test can check the layout
// without creating any window.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

struct DialogTemplateItem {
    DWORD style = 0;
    RECT box{};  // dialog units: left, top, right (left + width), bottom
    int id = 0;
    std::wstring className;  // "Button", "Edit", "Static", ... for the predefined atoms
    std::wstring text;
};

struct DialogTemplateContent {
    DWORD style = 0;
    int width = 0;
    int height = 0;
    std::wstring title;
    int fontPoints = 0;
    std::wstring fontFace;
    std::vector<DialogTemplateItem> items;
};

// The template of dialog resource `id` in `module`; nothing when there is no
// such resource or it is not a well-formed extended template.
std::optional<DialogTemplateContent> ReadDialogTemplate(HMODULE module, int id);
