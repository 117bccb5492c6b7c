#pragma once
// A console reporter that, once all benchmarks have run, prints for every
// pair "<name>/fast" and "<name>/reference" the ratio of their CPU times:
// how many times faster the fast code is, measured side by side in one run.
// A benchmark run several times counts with its fastest run.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tovak::bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            // CPU time: on a shared machine the wall clock also counts the
            // time other processes held the core. Of repeated runs the
            // fastest counts: other processes only ever add time. Names lose
            // the suffixes the library adds ("/iterations:1", "/repeats:5").
            std::string name = run.benchmark_name();
            for (const char* added : {"/iterations:", "/repeats:"})
                if (const std::size_t suffix = name.find(added); suffix != std::string::npos) name.erase(suffix);
            const double seconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            const auto [at, added] = seconds_.emplace(name, seconds);
            if (!added && seconds < at->second) at->second = seconds;
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nreference CPU time / fast CPU time, same run:\n");
        for (const auto& [name, fast_seconds] : seconds_) {
            const std::size_t at = name.find("/fast");
            if (at == std::string::npos) continue;
            std::string partner = name;
            partner.replace(at, 5, "/reference");
            const auto found = seconds_.find(partner);
            if (found == seconds_.end() || fast_seconds <= 0) continue;
            std::string label = name;
            label.erase(at, 5);
            std::printf("  %-20s %8.1fx\n", label.c_str(), found->second / fast_seconds);
        }
        std::fflush(stdout);
    }

    // CPU seconds per iteration of a benchmark that has run.
    std::optional<double> cpu_seconds(const std::string& name) const {
        const auto found = seconds_.find(name);
        if (found == seconds_.end()) return std::nullopt;
        return found->second;
    }

private:
    std::map<std::string, double> seconds_;
};

}  // namespace tovak::bench
