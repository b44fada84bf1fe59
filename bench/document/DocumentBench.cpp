// Saving and opening the largest set-up a user can make: every address mapped
// (65536 entries of all types) and 1000 polls. A user opening such a file
// should not wait.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "document/ProjectFile.h"
#include "protocol/FormatPreset.h"

namespace {

ProjectSetup LargestSetup() {
    ProjectSetup setup;
    for (uint32_t i = 0; i < 1000; ++i) {
        const ModbusFunction& function = FunctionTable()[i % FunctionTable().size()];
        Poll poll;
        MakePoll(function.code, static_cast<uint16_t>(i * 60), 60,
                 SuitablePreset(function.code, static_cast<int32_t>(i % 9)), poll);
        setup.polls.push_back(poll);
    }
    for (uint32_t address = 0; address <= 0xFFFF; ++address) {
        DataItem item;
        switch (address % 5) {
            case 0:
                item = DataItem::MakeUnsignedShort(static_cast<uint16_t>(address));
                break;
            case 1:
                item = DataItem::MakeUnsignedInt(address * 65599u);
                break;
            case 2:
                item = DataItem::MakeFloat(static_cast<float>(address) / 7.0f);
                break;
            case 3:
                item = DataItem::MakeDouble(address * 1.0e-3);
                break;
            default:
                item = DataItem::MakeString("TAG-" + std::to_string(address));
                break;
        }
        setup.datamap.Insert(static_cast<uint16_t>(address), item);
    }
    return setup;
}

std::wstring BenchPath() {
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    return (std::filesystem::temp_directory_path() /
            ("kestrom-bench-" + std::to_string(stamp) + ".xmb"))
        .wstring();
}

void SaveLargestProject(benchmark::State& state) {
    const ProjectSetup setup = LargestSetup();
    const std::wstring path = BenchPath();
    for (auto _ : state) {
        if (!SaveProject(path, setup)) state.SkipWithError("save failed");
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}
BENCHMARK(SaveLargestProject)->Unit(benchmark::kMillisecond);

void OpenLargestProject(benchmark::State& state) {
    const std::wstring path = BenchPath();
    if (!SaveProject(path, LargestSetup())) state.SkipWithError("save failed");
    for (auto _ : state) {
        ProjectSetup setup;
        ProjectLoadResult result;
        if (!OpenProject(path, setup, result) || setup.datamap.size() != 65536)
            state.SkipWithError("open failed");
        benchmark::DoNotOptimize(setup);
    }
    std::filesystem::remove(path);
}
BENCHMARK(OpenLargestProject)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
