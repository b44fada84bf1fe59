#include "document/VantelDoc.h"

#include <algorithm>
#include <cwchar>
#include <mutex>

VantelDoc::VantelDoc() : ethernet_(*this, settings_) {}

// The master stops and waits for its worker in its own destructor, before
// the settings and the notifier it uses are gone.
VantelDoc::~VantelDoc() = default;

bool VantelDoc::IsPolling() const { return ethernet_.IsRunning(); }

void VantelDoc::Reset() {
    const ProjectSetup defaults;
    ethernet_.host = defaults.host;
    ethernet_.port = defaults.port;
    settings_.protocol = defaults.protocol;
    settings_.polls.clear();
    settings_.modbusaddress = defaults.modbusaddress;
    settings_.datamap.Clear();
    {
        std::lock_guard<std::mutex> hold(ddeLock_);
        ddeLinks_.clear();
    }
    settings_.pollrate = defaults.pollrate;
    settings_.timeout = defaults.timeout;
    settings_.retries = defaults.retries;
    settings_.singlePollIndex = -1;
}

void VantelDoc::New() {
    Reset();
    path_.clear();
    SetModified(false);
    DocumentChanged();
}

ProjectSetup VantelDoc::CurrentSetup() const {
    ProjectSetup setup;
    setup.host = ethernet_.host;
    setup.port = ethernet_.port;
    setup.protocol = settings_.protocol;
    setup.polls = settings_.polls;
    setup.modbusaddress = settings_.modbusaddress;
    setup.datamap = settings_.datamap.Copy();
    setup.pollrate = settings_.pollrate;
    setup.timeout = settings_.timeout;
    setup.retries = settings_.retries;
    setup.line = serialLine_;
    setup.serial = serial_;
    setup.webport = webport_;
    return setup;
}

void VantelDoc::ApplySetup(ProjectSetup setup) {
    Reset();
    ethernet_.host = std::move(setup.host);
    ethernet_.port = setup.port;
    settings_.protocol = setup.protocol;
    settings_.polls = std::move(setup.polls);
    settings_.modbusaddress = setup.modbusaddress;
    // No DDE client is linked to an entry that has just been made.
    DataMap datamap = std::move(setup.datamap);
    for (const auto& [address, entry] : datamap.entries()) {
        if (entry.ddeLink) datamap.Find(address)->ddeLink = false;
    }
    settings_.datamap.Assign(std::move(datamap));
    settings_.pollrate = setup.pollrate;
    settings_.timeout = setup.timeout;
    settings_.retries = setup.retries;
    serialLine_ = setup.line;
    serial_ = setup.serial;
    webport_ = setup.webport;
}

bool VantelDoc::Save(const std::wstring& path) {
    if (!SaveProject(path, CurrentSetup())) return false;
    path_ = path;
    SetRecentFile(path);
    SetModified(false);
    return true;
}

bool VantelDoc::Open(const std::wstring& path, ProjectLoadResult& result) {
    if (IsPolling()) {
        result = ProjectLoadResult();
        result.error = L"Stop polling before opening a project : " + path;
        return false;
    }
    // What a file that does not mention them keeps; the rest comes from the file.
    ProjectSetup setup;
    setup.line = serialLine_;
    setup.serial = serial_;
    setup.webport = webport_;
    if (!OpenProject(path, setup, result)) return false;
    ApplySetup(std::move(setup));
    path_ = path;
    SetRecentFile(path);
    SetModified(false);
    DocumentChanged();
    return true;
}

bool VantelDoc::AddPoll(uint8_t function, uint16_t start, uint16_t quantity, int32_t preset) {
    Poll poll;
    if (IsPolling() || !MakePoll(function, start, quantity, preset, poll)) return false;
    settings_.polls.push_back(poll);
    SetModified(true);
    DocumentChanged();
    return true;
}

bool VantelDoc::EditPoll(size_t index, uint8_t function, uint16_t start, uint16_t quantity,
                         int32_t preset) {
    if (IsPolling() || index >= settings_.polls.size()) return false;
    Poll poll;
    if (!MakePoll(function, start, quantity, preset, poll)) return false;
    settings_.polls[index] = poll;
    DocumentChanged();
    return true;
}

bool VantelDoc::DeletePolls(const std::vector<size_t>& indices) {
    if (IsPolling()) return false;
    std::vector<Poll>& polls = settings_.polls;
    std::vector<Poll> kept;
    kept.reserve(polls.size());
    for (size_t i = 0; i < polls.size(); ++i) {
        if (std::find(indices.begin(), indices.end(), i) == indices.end()) kept.push_back(polls[i]);
    }
    if (kept.size() == polls.size()) return false;
    polls = std::move(kept);
    SetModified(true);
    DocumentChanged();
    return true;
}

bool VantelDoc::MovePollUp(size_t index) {
    if (IsPolling() || index == 0 || index >= settings_.polls.size()) return false;
    std::swap(settings_.polls[index - 1], settings_.polls[index]);
    SetModified(true);
    DocumentChanged();
    return true;
}

bool VantelDoc::MovePollDown(size_t index) {
    if (IsPolling() || index + 1 >= settings_.polls.size()) return false;
    std::swap(settings_.polls[index], settings_.polls[index + 1]);
    SetModified(true);
    DocumentChanged();
    return true;
}

bool VantelDoc::AddAddresses(uint16_t first, uint16_t last, uint16_t step, DataItem::Type type) {
    if (type == DataItem::Unknown || step == 0 || first > last) return false;
    bool added = false;
    // Counted in 32 bits so that the walk ends at 65535 instead of wrapping.
    for (uint32_t address = first; address <= last; address += step) {
        added |= settings_.datamap.Insert(static_cast<uint16_t>(address), DataItem(type));
    }
    if (added) SetModified(true);
    return added;
}

void VantelDoc::OnValueChanged(uint16_t address) {
    if (ddeAdvisor_ && IsDdeLinked(address)) {
        wchar_t item[6];
        std::swprintf(item, 6, L"%05u", static_cast<unsigned>(address));
        ddeAdvisor_->PostAdvise(item);
    }
    std::lock_guard<CriticalSection> hold(webLock_);
    if (std::find(subscriptions_.begin(), subscriptions_.end(), address) == subscriptions_.end())
        return;
    if (updates_.size() >= kMaxWebUpdates)
        updates_.erase(updates_.begin(), updates_.end() - (kMaxWebUpdates - 1));
    updates_.push_back(address);
}

bool VantelDoc::SetDdeLink(uint16_t address, bool linked) {
    std::lock_guard<std::mutex> hold(ddeLock_);
    if (!settings_.datamap.SetLinked(address, linked)) return false;
    if (linked) {
        ddeLinks_.insert(address);
    } else {
        ddeLinks_.erase(address);
    }
    return true;
}

bool VantelDoc::IsDdeLinked(uint16_t address) const {
    std::lock_guard<std::mutex> hold(ddeLock_);
    return ddeLinks_.count(address) != 0 && settings_.datamap.Contains(address);
}

void VantelDoc::DocumentChanged() { Send(nullptr, EventDocumentChanged, 0); }
