#include "publish/WebPublisher.h"

#include "document/VantelDoc.h"

WebPublisher::WebPublisher(VantelDoc& document)
    : document_(document),
      interface_(document),
      server_([this](const std::string& target) { return interface_.Answer(target); }) {}

WebPublisher::~WebPublisher() { server_.Stop(true); }

bool WebPublisher::StartWeb() {
    error_.clear();
    const int32_t port = document_.WebPort();
    // A negative port must not wrap into a valid one.
    server_.port = port < 0 ? 0u : static_cast<uint32_t>(port);
    const WebServer::StartResult result = server_.Start();
    error_ = WebServer::Describe(result, static_cast<uint32_t>(port));
    return result == WebServer::StartResult::Started;
}

bool WebPublisher::RestartWeb() {
    StopWeb();
    return StartWeb();
}

void WebPublisher::StopWeb() { server_.Stop(true); }
