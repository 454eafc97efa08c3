// Get Contents speed: the window's own handler (walk, list filled and sorted) against
// `find DIR -type f -iname '*.bmp' | sort -f`, warm cache, median of several runs each.

#include "Timing.h"
#include "form/Form.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <climits>
#include <cstdlib>


int main(int argc, char* argv[]) {
    if (argc < 2) return 2;
    char resolved[PATH_MAX];
    if (!::realpath(argv[1], resolved)) return 2;
    const std::string root = resolved;
    frmQuiltwright form({{"/", QStringLiteral("/")}}, root);
    form.cmdGetContents_Click();  // warm the cache
    const double ours = medianSeconds(7, [&] { form.cmdGetContents_Click(); });
    const std::string pipeline = "find '" + root + "' -type f -iname '*.bmp' | sort -f > /dev/null";
    const double find = medianSeconds(7, [&] {
        if (std::system(pipeline.c_str()) != 0) std::fprintf(stderr, "find failed\n");
    });
    std::printf("| pictures listed | %d |\n| Get Contents | %.3f s |\n| find \\| sort -f | %.3f s |\n| ratio | %.2fx |\n",
                form.piclist.ListCount(), ours, find, ours / find);
    return 0;
}
