#pragma once

#include <string>

#include "publish/WebInterface.h"
#include "publish/WebServer.h"

class VantelDoc;

// The document's web interface: the server, started on the document's web
// port. StartWeb is called at start-up, RestartWeb after the connection
// settings changed (a port read from a project file takes effect there).
class WebPublisher {
  public:
    explicit WebPublisher(VantelDoc& document);
    ~WebPublisher();

    // Starts the server on the document's web port unless it runs already.
    // True when a server thread was started; otherwise Error() says why,
    // empty when it was running.
    bool StartWeb();
    // Stops the server, waits for it and starts it on the current port.
    bool RestartWeb();
    // Stops the server and waits for it; it may be started again.
    void StopWeb();

    const std::wstring& Error() const { return error_; }
    bool IsRunning() const { return server_.IsRunning(); }

  private:
    VantelDoc& document_;
    WebInterface interface_;
    WebServer server_;
    std::wstring error_;
};
