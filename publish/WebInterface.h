#pragma once

#include <cstddef>
#include <string>

class VantelDoc;
struct WebTarget;

// What the web interface answers, apart from HTTP: the request target in,
// the JSON text (UTF-8) out. Called on the web server's worker threads,
// several at a time.
//
// Routes, by the whole path:
// - "subscribe?item=A&item=B...": the subscription becomes those addresses
//   (one list shared by every web client); answers {"link":L,"values":[]}
//   and queues every subscribed address, so the next "updates" carries them;
// - "updates": the changes of subscribed addresses since the last call, in
//   order of change, repeats included: {"link":L,"values":[{"name":A,"value":"T"}...]};
// - "ident?item=A&value=V": writes V as an unsigned short into a mapped
//   address; answers {"result":"ok"} (or "failed" without exactly one of each);
// - anything else: a number read as an address: [{"name":A,"value":"T"}]
//   when it is mapped, else the program information object.
//
// Answers are standard JSON (strings escaped as RFC 8259 requires) in UTF-8,
// and values are written in full.
//
// The interface never waits for the user-interface thread: a write is stored
// in the data map at once and announced by posting EventItemChanged (the
// owner passes it to VantelDoc::OnValueChanged, as for a polled change) and
// EventDocumentChanged.
class WebInterface {
  public:
    explicit WebInterface(VantelDoc& document);

    std::string Answer(const std::string& target);

    // "1.0.0.0": the build's version as the program information shows it.
    static std::wstring Version();

  private:
    std::wstring Subscribe(const WebTarget& target);
    std::wstring Updates();
    std::wstring Ident(const WebTarget& target);
    std::wstring Address(const WebTarget& target);
    std::wstring Information();
    bool Connected() const;

    VantelDoc& document_;
};
