#include "ui/ModuleInstance.h"

namespace {
HINSTANCE g_instance = nullptr;
}

HINSTANCE ModuleInstance() { return g_instance ? g_instance : ::GetModuleHandleW(nullptr); }

void SetModuleInstance(HINSTANCE instance) { g_instance = instance; }
