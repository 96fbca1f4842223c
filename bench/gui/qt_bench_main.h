#pragma once
// main() of the Qt benchmarks: an application object (offscreen unless a
// platform is asked for), then Google Benchmark as usual.
#include <QApplication>
#include <benchmark/benchmark.h>

namespace meru::bench {

inline int RunQtBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace meru::bench
