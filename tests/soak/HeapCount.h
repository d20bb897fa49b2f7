#pragma once

namespace quorvel::testing {

// What operator new holds right now in this program.
struct HeapCount {
    long long blocks = 0;
    long long bytes = 0;
    long long allocations = 0;  // every operator new since the program began
};

HeapCount CurrentHeap();

}  // namespace quorvel::testing
