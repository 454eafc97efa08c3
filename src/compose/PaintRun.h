#pragma once
// The pictures of one Combine, loaded and painted on several threads at once. Each thread takes
// the next picture in list order, loads it and paints it into its cell; where a picture may reach
// into the next cell (Drop to floor), its painting waits for the previous picture's, so the sheet
// is the one a single thread paints. Memory: one picture per thread.
//
// A picture that fails ends the run as on one thread: the error is the first failing picture's in
// list order, every picture before it is painted, and no picture after it is taken up (a few may
// already be painted: unpaint takes them off again). Stopping (the user's Cancel) takes effect
// between pictures: each thread paints the picture it holds, then takes no other.

#include "toolkit/Picture.h"

#include <cstddef>
#include <functional>

namespace compose {

struct PaintSteps {
    // Reads picture i; called on any thread.
    std::function<tk::Picture(size_t i)> load;
    // Paints picture i with the worker's own scratch (worker from 0); called on any thread. It
    // calls turn() before anything that must follow the previous picture's painting.
    std::function<void(size_t i, const tk::Picture& picture, int worker, const std::function<void()>& turn)> paint;
    // Whether picture i's painting must follow picture i - 1's.
    std::function<bool(size_t i)> followsPrevious;
    // When given: called on the calling thread with n once pictures 0 .. n - 1 are all painted
    // (first when n reaches 1); returns the n it is to be called with next (SIZE_MAX: none).
    // What it throws stops the run and is thrown on, as progress's does.
    std::function<size_t(size_t painted)> inOrder;
    // When given: after a picture failed, called on the calling thread for each later picture
    // that was painted all the same, to take it off the canvas again.
    std::function<void(size_t i)> unpaint;
    // When given: called on the painting thread once picture i is done with (painted, failed or
    // given up), after the run has taken note of it; tests order the threads by it.
    std::function<void(size_t i)> done;
};

// Runs the steps for pictures 0 .. count - 1 on `threads` threads (fewer where the system starts
// fewer; the calling thread where it starts none), picture 0 already loaded as first.
// progress(painted) runs on the calling thread as pictures get painted (from the first, about
// every 50 ms, and at the end); what it throws (a cancelled command) stops the run and is thrown
// on. The first failing picture's error is thrown once every thread has stopped.
void paintAll(size_t count, int threads, tk::Picture first, const PaintSteps& steps,
              const std::function<void(size_t painted)>& progress);

}  // namespace compose
