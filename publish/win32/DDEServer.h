#pragma once

#include <windows.h>
// ddeml.h needs the types of windows.h.
#include <ddeml.h>

#include <map>
#include <string>

// A DDE server on the Windows DDE Management Library: service "Kestrom
// Master", topic "Master". It turns DDEML transactions into four operations
// a derived class implements on its data; items are the client's text.
//
// DDEML calls back on the thread that called Start, inside its message loop,
// so everything here runs on that one thread.
class DDEServer {
  public:
    DDEServer() = default;
    virtual ~DDEServer();
    DDEServer(const DDEServer&) = delete;
    DDEServer& operator=(const DDEServer&) = delete;

    // Initialises DDEML and registers the service; false when DDEML refused.
    bool Start();
    // Unregisters the service and ends DDEML; done by the destructor too.
    void End();

    // Confirmed conversations now open; never below 0.
    int Connections() const { return connections_; }

    // Tells the clients advising on item that its value changed.
    void PostAdvise(const std::wstring& item);

  protected:
    virtual std::wstring OnRequest(const std::wstring& item);
    // The last advise loop on the item has ended (see Callback).
    virtual void OnAdviseStop(const std::wstring& item);
    virtual bool OnPoke(const std::wstring& item, const std::wstring& data);
    virtual void OnLastDisconnect();

  private:
    static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ topic,
                                      HSZ item, HDDEDATA data, ULONG_PTR, ULONG_PTR);
    HDDEDATA Transaction(UINT type, UINT format, HCONV conversation, HSZ topic, HSZ item,
                         HDDEDATA data);
    std::wstring ItemText(HSZ item) const;
    void EndAdvise(HCONV conversation, const std::wstring& item);
    bool HasLoop(HCONV conversation, const std::wstring& item) const;
    int LoopsOn(const std::wstring& item) const;

    DWORD instance_ = 0;
    HSZ service_ = nullptr;
    HSZ topic_ = nullptr;
    int connections_ = 0;
    // Open advise loops by item and conversation: one client ending its
    // loop must not end another client's loop on the same item.
    std::multimap<std::wstring, HCONV> advises_;
};
