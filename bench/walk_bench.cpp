// Get Contents speed: the window's own handler (walk, list filled and sorted) against
// `find DIR -type f -iname '*.bmp' | sort -f`, warm cache, median of several runs each.

#include "form/Form.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <climits>
#include <cstdlib>

namespace {

template <typename F>
double medianS(int runs, F&& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) return 2;
    char resolved[PATH_MAX];
    if (!::realpath(argv[1], resolved)) return 2;
    const std::string root = resolved;
    frmQuiltwright form({{"/", QStringLiteral("/")}}, root);
    form.cmdGetContents_Click();  // warm the cache
    const double ours = medianS(7, [&] { form.cmdGetContents_Click(); });
    const std::string pipeline = "find '" + root + "' -type f -iname '*.bmp' | sort -f > /dev/null";
    const double find = medianS(7, [&] {
        if (std::system(pipeline.c_str()) != 0) std::fprintf(stderr, "find failed\n");
    });
    std::printf("| pictures listed | %d |\n| Get Contents | %.3f s |\n| find \\| sort -f | %.3f s |\n| ratio | %.2fx |\n",
                form.piclist.ListCount(), ours, find, ours / find);
    return 0;
}
