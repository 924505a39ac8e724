// A measuring program, not a test: what one listing of the serial ports
// costs (SetupAPI, the configuration manager, the serial device map), as the
// bridge makes it at start, at resume, after a device change and every few
// seconds while the box's port is lost. Prints a table:
//   port_list_bench [listings]   (default 200)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/port_list/win32/system_ports.h"

int main(int argc, char** argv) {
    const int listings = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> ms;
    std::size_t ports = 0;
    for (int i = 0; i < listings; ++i) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        ports = bridge::ListSystemPorts().size();
        QueryPerformanceCounter(&end);
        ms.push_back(static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                     static_cast<double>(frequency.QuadPart));
    }
    const double first = ms.front();
    std::sort(ms.begin(), ms.end());
    std::printf(
        "| Ports listed | Listings | First (ms) | Median (ms) | p99 (ms) | Longest (ms) |\n");
    std::printf("|---|---|---|---|---|---|\n");
    std::printf("| %zu | %d | %.2f | %.2f | %.2f | %.2f |\n", ports, listings, first,
                ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back());
    return 0;
}
