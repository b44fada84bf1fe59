#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/Thread.h"
#include "publish/HttpListener.h"

// The web interface's listener thread: binds all IPv4 addresses at the port
// and serves HTTP until stopped; cpp-httplib's worker threads answer the
// requests through the handler (see HttpListener for what the listener
// accepts).
class WebServer : public Thread {
  public:
    enum class StartResult {
        Started,
        AlreadyRunning,
        BadPort,      // the port is outside 1..65535
        BindFailed,   // the address is in use or may not be taken
        ThreadFailed  // the system would not start the thread
    };

    static constexpr uint32_t kDefaultPort = 8888;

    explicit WebServer(HttpListener::Handler handler);
    ~WebServer();

    // Binds the port here, on the caller's thread, so a port that cannot be
    // taken is reported at once, then serves on the server's own thread.
    StartResult Start();
    // Stops the listener through the library's own stop and, with wait,
    // returns once the thread and every connection it served have ended.
    void Stop(bool wait) override;

    // The port the next Start binds; a running server keeps its port.
    std::atomic<uint32_t> port{kDefaultPort};

    // The text a user is shown for a failed Start.
    static std::wstring Describe(StartResult result, uint32_t port);

  protected:
    void Run() override;

  private:
    std::unique_ptr<HttpListener> listener_;
};
