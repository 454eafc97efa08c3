#pragma once
// The median wall time of several runs of some work, in seconds.

#include <algorithm>
#include <chrono>
#include <vector>

template <typename Work>
double medianSeconds(int runs, Work&& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}
