// The main of the benchmarks that need a QApplication: offscreen unless the caller chose a
// platform, then Google Benchmark's own run.
#pragma once

#include <QApplication>

#include <benchmark/benchmark.h>

inline int RunQtBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
