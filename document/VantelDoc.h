#pragma once

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "document/Doc.h"
#include "document/ProjectFile.h"
#include "document/ProjectSetup.h"
#include "engine/CommsSettings.h"
#include "engine/CriticalSection.h"
#include "engine/ModbusMasterEthernet.h"
#include "engine/Notifier.h"
#include "protocol/DataItem.h"

// The DDE server's side of a value change: it posts an advise for the item to
// the clients linked to it. The DDE server registers itself here when its
// service is up.
class DdeAdvisor {
  public:
    virtual void PostAdvise(const std::wstring& item) = 0;

  protected:
    ~DdeAdvisor() = default;
};

// The one document of the process: the connection settings with the poll
// list and the data map, the masters that poll with them, the web port and
// the web subscriptions, and the file the set-up lives in. The notifier it
// derives from is the channel of the masters and of the document itself to
// the windows (EventItemChanged, EventDocumentChanged).
//
// Set-up changes happen on the user-interface thread. The poll list commands
// and Open are refused while a master runs (the worker reads the list without
// a lock); the other commands are disabled by the main window then. Values in
// the data map change from any thread through its own lock.
class VantelDoc : public Doc, public Notifier {
  public:
    VantelDoc();
    ~VantelDoc();

    CommsSettings& Settings() { return settings_; }
    const CommsSettings& Settings() const { return settings_; }
    ModbusMasterEthernet& EthernetMaster() { return ethernet_; }
    // The serial master's line settings; the serial master reads them when it
    // opens the port.
    SerialLineSettings& SerialLine() { return serialLine_; }
    // Which master Run starts: false the Ethernet master, true the serial one.
    bool IsSerial() const { return serial_; }
    void SetSerial(bool serial) { serial_ = serial; }
    bool IsPolling() const;

    // The port the web server listens on (a running server keeps its old port
    // until it is restarted).
    int32_t WebPort() const { return webport_; }
    void SetWebPort(int32_t port) { webport_ = port; }

    // The set-up back to its defaults: the slave's host and port, framing,
    // polls, slave address, data map, poll rate, timeout, retries and the
    // single-poll index. The serial line, the serial flag, the web port, the
    // link state and the transaction counter stay.
    void Reset();
    // Reset, no file, not modified; the windows are told.
    void New();

    // The set-up as the project file holds it, and the reverse. ApplySetup
    // clears every DDE link, as every entry is new.
    ProjectSetup CurrentSetup() const;
    void ApplySetup(ProjectSetup setup);

    // Writes the project to path. On success the path and the recent file
    // become path and the modified mark is cleared; on failure nothing
    // changes and the old file is intact.
    bool Save(const std::wstring& path);
    // Loads the project at path. Only a file that loaded whole changes the
    // document: the set-up, the web port, the path and the recent file, the
    // modified mark cleared, the windows told. Refused while a master runs.
    // result says why it failed, and what was corrected or left out when
    // it did not.
    bool Open(const std::wstring& path, ProjectLoadResult& result);

    // Poll list commands. A poll is built from the function code, start,
    // quantity and preset (the quantity only when the function's request
    // counts items, else 1); an unknown function code is refused, so that no
    // poll in the list lacks a function. Each command that changes the list
    // marks the document modified, except an edit, and tells the windows.
    // All are refused while a master runs.
    bool AddPoll(uint8_t function, uint16_t start, uint16_t quantity, int32_t preset);
    // Rebuilds the poll in place.
    bool EditPoll(size_t index, uint8_t function, uint16_t start, uint16_t quantity,
                  int32_t preset);
    // Removes every poll whose index is listed; indices out of range are
    // ignored. False when none was removed.
    bool DeletePolls(const std::vector<size_t>& indices);
    // Swap the poll with its neighbour; false (nothing changes) at the ends.
    bool MovePollUp(size_t index);
    bool MovePollDown(size_t index);

    // Maps first, first + step, ... up to last (never past 65535) with items of
    // type holding 0; mapped addresses keep their entries. False when nothing
    // was added (type Unknown, step 0, first above last, all mapped).
    bool AddAddresses(uint16_t first, uint16_t last, uint16_t step, DataItem::Type type);

    // A value in the data map changed: advise the DDE clients linked to the
    // address, and queue the address for web clients subscribed to it.
    void OnValueChanged(uint16_t address);

    // DDE: the server sets the link flag of an address while a client holds a
    // request or an advise on it.
    void SetDdeAdvisor(DdeAdvisor* advisor) { ddeAdvisor_ = advisor; }
    bool SetDdeLink(uint16_t address, bool linked);
    bool IsDdeLinked(uint16_t address) const;

    // Web: the subscribed addresses and the changes since the last web poll,
    // used under WebLock() by the web interface. The change list keeps the
    // newest kMaxWebUpdates changes: a subscriber that went away must not
    // make it grow for ever, and one that comes back wants the latest values.
    static constexpr size_t kMaxWebUpdates = 10000;
    CriticalSection& WebLock() { return webLock_; }
    std::vector<uint16_t>& Subscriptions() { return subscriptions_; }
    std::vector<uint16_t>& Updates() { return updates_; }

  private:
    void DocumentChanged();

    CommsSettings settings_;
    ModbusMasterEthernet ethernet_;
    SerialLineSettings serialLine_;
    bool serial_ = false;
    int32_t webport_ = ProjectSetup::kDefaultWebPort;

    DdeAdvisor* ddeAdvisor_ = nullptr;
    // The addresses whose entry has its DDE link flag set, so a value change
    // finds out without copying the map. Changed with the flag; read also by
    // web writes on the web server's threads.
    mutable std::mutex ddeLock_;
    std::set<uint16_t> ddeLinks_;

    CriticalSection webLock_;
    std::vector<uint16_t> subscriptions_;
    std::vector<uint16_t> updates_;
};
