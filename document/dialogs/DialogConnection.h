#pragma once

#include <string>
#include <vector>

#include "document/ConnectionForm.h"
#include "ui/CommonControls/ComboBoxLParam.h"
#include "ui/CommonControls/EditInt.h"
#include "ui/CommonControls/RadioButton.h"
#include "ui/Dialog.h"

// "Connection Details": the link to the slave (network host and port, or a
// serial port and its line), the framing, the poll pace, the slave address
// and the web server's port. OK is enabled while every field holds a value
// the program can use.
class DialogConnection : public Dialog {
  public:
    // portNames: the machine's serial ports as the system names them
    // ("COM3"); other names are left out.
    DialogConnection(ConnectionForm form, std::vector<std::wstring> portNames);

    // Runs the dialog over the document's settings and on OK stores what
    // changed (marking the document modified for each change). True when
    // the user pressed OK, whatever changed.
    static bool Edit(Window* owner, VantelDoc& document);

    const ConnectionForm& Form() const { return form_; }

  protected:
    DWORD OnInitDialog() override;
    bool OnControlCommand(HWND control, UINT code, UINT id) override;
    void OnOK() override;

  private:
    void FillLists();
    void ShowLinkChoice();
    void Refresh();
    void ReadFields();

    ConnectionForm form_;
    std::vector<std::wstring> portNames_;
    CommonControls::RadioButton network_;
    CommonControls::RadioButton serial_;
    CommonControls::EditString host_;
    CommonControls::EditInt port_;
    CommonControls::ComboBoxLParam protocol_;
    CommonControls::EditInt pollRate_;
    CommonControls::EditInt timeout_;
    CommonControls::EditInt retries_;
    CommonControls::EditInt modbusAddress_;
    CommonControls::ComboBoxLParam comPort_;
    CommonControls::ComboBoxLParam baud_;
    CommonControls::ComboBoxLParam parity_;
    CommonControls::ComboBoxLParam stopBits_;
    CommonControls::ComboBoxLParam handshaking_;
    CommonControls::EditInt webPort_;
};
