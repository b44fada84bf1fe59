// How the Windows program keeps up with a fast slave: the real main window
// polls the simulator at the given poll rate while a second thread measures
// how long the window takes to answer a sent message. Reports the packets
// the monitor took per second, the answer times (median, 99th percentile,
// worst), and memory and live packets at the start and after the polls.
//
//   window_load PROJECT POLLRATE SECONDS
#include <windows.h>
// commctrl.h and psapi.h need the types of windows.h.
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "protocol/ModbusPacket.h"
#include "resources/ResourceIds.h"
#include "ui/WindowMain.h"

namespace {

size_t PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    // Wine leaves PrivateUsage at 0; the pagefile usage is the same figure there.
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

// The program's own message loop, for a while: a timer message (the lowest
// of all) ends it, so a window that never lets go of its queue shows here
// as a run that overruns.
void Pump(DWORD milliseconds) {
    const UINT_PTR timer = ::SetTimer(nullptr, 0, milliseconds, nullptr);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == timer) break;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::KillTimer(nullptr, timer);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: window_load PROJECT POLLRATE SECONDS\n");
        return 2;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    WindowMain window(SettingsFile(std::wstring(folder) + L"kestrom-window-load.ini"));
    if (window.CreateAndShow()) return 1;
    std::wstring project(argv[1], argv[1] + std::strlen(argv[1]));
    if (!window.OpenFile(project)) return 1;
    VantelDoc& document = window.Document();
    document.Settings().pollrate = static_cast<uint32_t>(std::atoi(argv[2]));
    const DWORD seconds = static_cast<DWORD>(std::atoi(argv[3]));
    Pump(500);
    const size_t memoryBefore = PrivateBytes();
    const long packetsBefore = ModbusPacket::Live();

    HWND hwnd = window.Handle();
    std::atomic<bool> measuring{true};
    std::vector<double> answers;
    int unanswered = 0;
    std::thread probe([&] {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        while (measuring) {
            LARGE_INTEGER before, after;
            ::QueryPerformanceCounter(&before);
            DWORD_PTR result = 0;
            if (!::SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result)) ++unanswered;
            ::QueryPerformanceCounter(&after);
            answers.push_back(1000.0 * static_cast<double>(after.QuadPart - before.QuadPart) /
                              static_cast<double>(frequency.QuadPart));
            ::Sleep(10);
        }
    });

    const uint64_t rowsBefore = window.Monitor().RowsAdded();
    const uint16_t firstTransaction = document.Settings().transactionCounter;
    ::SendMessageW(hwnd, WM_COMMAND, ID_RUN, 0);
    const DWORD start = ::GetTickCount();
    Pump(seconds * 1000);
    const double elapsed = (::GetTickCount() - start) / 1000.0;
    const uint64_t rows = window.Monitor().RowsAdded() - rowsBefore;
    // The probe's last question is answered while the window still runs
    // its loop; a join first would leave it unanswered.
    measuring = false;
    Pump(100);
    probe.join();
    const DWORD stopping = ::GetTickCount();
    ::SendMessageW(hwnd, WM_COMMAND, ID_RUN, 0);
    const DWORD stopped = ::GetTickCount() - stopping;
    Pump(1000);

    std::sort(answers.begin(), answers.end());
    auto percentile = [&](double p) {
        return answers.empty() ? 0.0 : answers[static_cast<size_t>(p * (answers.size() - 1))];
    };
    std::printf("poll rate %s ms, %.0f s: monitor took %.0f packets/s (%llu rows); "
                "transactions %u (wrapping)\n",
                argv[2], elapsed, rows / elapsed, static_cast<unsigned long long>(rows),
                static_cast<unsigned>(static_cast<uint16_t>(document.Settings().transactionCounter -
                                                            firstTransaction)));
    std::printf("Run pressed again: the run stopped in %lu ms\n", static_cast<unsigned long>(stopped));
    std::printf("answer to a sent message: median %.2f ms, 99th percentile %.2f ms, worst %.2f ms, "
                "%zu asked, %d unanswered in 5 s\n",
                percentile(0.5), percentile(0.99), answers.empty() ? 0.0 : answers.back(),
                answers.size(), unanswered);
    std::printf("private memory %.1f MB before, %.1f MB after; live packets %ld before, %ld after; "
                "%llu events dropped by the monitor's target\n",
                memoryBefore / 1048576.0, PrivateBytes() / 1048576.0, packetsBefore,
                ModbusPacket::Live(), static_cast<unsigned long long>(window.Monitor().DroppedEvents()));
    std::fflush(stdout);
    ::DestroyWindow(hwnd);
    return 0;
}
