#pragma once

#include <string>

#include "document/VantelDoc.h"
#include "publish/win32/DDEServer.h"

// The document's DDE service: items are data map addresses written as five
// decimal digits ("00100" is address 100; "70000" keeps 16 bits: 4464).
// A request or an advise start sets the address's link flag, so value
// changes post advises; the flag is cleared when the last advise loop on
// the address ends. A poke stores the text as the entry's current type (the
// modified mark is not set and nothing is sent to the slave) and is told to
// the windows as EventItemChanged, like any other change of a value.
class DocumentDde final : public DDEServer, public DdeAdvisor {
  public:
    explicit DocumentDde(VantelDoc& document);
    ~DocumentDde() override;

    // DdeAdvisor: VantelDoc::OnValueChanged on the user-interface thread.
    void PostAdvise(const std::wstring& item) override { DDEServer::PostAdvise(item); }

    // The address of a well-formed item.
    static bool ParseItem(const std::wstring& item, uint16_t& address);

  protected:
    std::wstring OnRequest(const std::wstring& item) override;
    void OnAdviseStop(const std::wstring& item) override;
    bool OnPoke(const std::wstring& item, const std::wstring& data) override;

  private:
    VantelDoc& document_;
};
