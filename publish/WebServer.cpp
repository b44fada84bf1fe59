#include "publish/WebServer.h"

WebServer::WebServer(HttpListener::Handler handler)
    : listener_(HttpListener::Create(std::move(handler))) {}

WebServer::~WebServer() { Stop(true); }

WebServer::StartResult WebServer::Start() {
    if (IsRunning()) return StartResult::AlreadyRunning;
    const uint32_t current = port;
    if (current < 1 || current > 65535) return StartResult::BadPort;
    if (!listener_->Bind("0.0.0.0", static_cast<int>(current))) return StartResult::BindFailed;
    if (!Thread::Start()) {
        listener_->Unbind();
        return StartResult::ThreadFailed;
    }
    return StartResult::Started;
}

void WebServer::Stop(bool wait) {
    Thread::Stop(false);
    listener_->Stop();
    if (!wait) return;
    // The library's stop has no effect until its listen loop has begun; the
    // thread sees the stop event before that, or the loop takes the repeat.
    while (!WaitForEnd(10)) listener_->Stop();
    Thread::Stop(true);
}

void WebServer::Run() {
    if (StopEvent().Wait(0)) {
        listener_->Unbind();
        return;
    }
    listener_->Listen();
}

std::wstring WebServer::Describe(StartResult result, uint32_t port) {
    const std::wstring number = std::to_wstring(port);
    switch (result) {
        case StartResult::Started:
        case StartResult::AlreadyRunning:
            return {};
        case StartResult::BadPort:
            return L"Web port " + number + L" is not between 1 and 65535";
        case StartResult::BindFailed:
            return L"Can't listen on web port " + number;
        case StartResult::ThreadFailed:
            return L"Can't start the web server on port " + number;
    }
    return {};
}
