#pragma once

#include "ui/Window.h"

// A dialog from a dialog resource, run modally (or created modeless). The
// object keeps the values the calling command fills in before and reads
// after the dialog; its controls are member objects attached in
// OnInitDialog.
class Dialog : public Window {
  public:
    // The results of Run.
    static constexpr INT_PTR kOk = IDOK;
    static constexpr INT_PTR kCancel = IDCANCEL;

    Dialog() = default;
    ~Dialog() override;

    // Runs the dialog from resource templateId modally, owned by owner (may
    // be null). kOk or kCancel; 0 or -1 when it could not be created
    // (GetLastError says why).
    INT_PTR Run(Window* owner, UINT templateId);
    // Creates the dialog modeless and shows it; 0 or the system's error.
    DWORD CreateModeless(Window* owner, UINT templateId);
    bool IsModal() const { return modal_; }

    // The OK button's enabled state, which the dialog's rules decide.
    void EnableOk(bool enabled);
    bool IsOkEnabled() const;

    // Cancels and ends the dialog.
    virtual void Close();

    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  protected:
    // The dialog exists: attach the controls, fill them. 0 or an error code,
    // shown to the user.
    virtual DWORD OnInitDialog() { return 0; }
    // OK or Cancel was pressed; the dialog ends afterwards.
    virtual void OnOK() {}
    virtual void OnCancel() {}
    virtual INT_PTR DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void PrepareRun(Window* owner, bool modal);
    void End(INT_PTR result);

  private:
    void CentreOverOwner(HWND hwnd);

    bool modal_ = true;
};
