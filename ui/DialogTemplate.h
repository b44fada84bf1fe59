#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/Dialog.h"

// A dialog whose template is assembled in memory (an extended dialog
// template) rather than taken from the resources: a header with the title,
// the size and the system's message font, then the controls. Coordinates
// are dialog units, given as inclusive rectangles.
class DialogTemplate : public Dialog {
  public:
    // Starts the template. False when the system's message font cannot be
    // read (the template is then empty and Run fails).
    bool Begin(const std::wstring& title, RECT frame);
    void AddButton(const std::wstring& text, int id, RECT place, bool isDefault);
    void AddStatic(const std::wstring& text, RECT place, DWORD style = SS_LEFT);
    // Any control by class name (an edit, an icon, a custom class).
    void AddControl(const std::wstring& className, const std::wstring& text, int id, RECT place,
                    DWORD style);

    // Runs the assembled template modally; as Dialog::Run.
    INT_PTR RunTemplate(Window* owner);
    DWORD CreateTemplateModeless(Window* owner);

    // The bytes of the template, for tests.
    const std::vector<uint8_t>& Bytes() const { return bytes_; }
    // The message font the header names.
    const std::wstring& FontFace() const { return fontFace_; }
    int FontPointSize() const { return fontPoints_; }

  private:
    void Align(size_t boundary);
    void Put16(uint16_t value);
    void Put32(uint32_t value);
    void PutText(const std::wstring& text);
    void PutClassAtom(uint16_t atom);

    std::vector<uint8_t> bytes_;
    size_t countAt_ = 0;
    uint16_t count_ = 0;
    std::wstring fontFace_;
    int fontPoints_ = 0;
};
