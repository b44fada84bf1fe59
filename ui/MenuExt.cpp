#include "ui/MenuExt.h"

#include "ui/ModuleInstance.h"
#include "ui/Window.h"

DWORD MenuExt::Load() {
    HMENU menu = ::LoadMenuW(ModuleInstance(), MAKEINTRESOURCEW(resourceId_));
    if (!menu) return ::GetLastError() ? ::GetLastError() : ERROR_RESOURCE_NAME_NOT_FOUND;
    Reset(menu, true);
    return 0;
}

DWORD MenuExt::Attach(Window* host) {
    host_ = host;
    if (const DWORD error = Load()) return error;
    if (!::SetMenu(host->Handle(), Handle())) return ::GetLastError();
    return 0;
}
