// How many allocations the global operator new has made, on any thread,
// since the program started. An executable that uses it links
// allocation_count.cpp, which replaces the global operator new and delete of
// the whole program.
#pragma once

namespace bridge::testing {

long AllocationCount();

}  // namespace bridge::testing
