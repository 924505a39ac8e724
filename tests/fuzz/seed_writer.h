// Writes a seed corpus: one file seed-NN.bin per input, into the folder given
// on the command line of a seed generator.
#pragma once

#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace bridge::fuzzing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline int WriteSeeds(int argc, char** argv, const char* generator,
                      const std::vector<Bytes>& seeds) {
    if (argc != 2) {
        std::cerr << "usage: " << generator << " <corpus folder>\n";
        return 2;
    }
    int n = 0;
    for (const auto& seed : seeds) {
        const std::string path =
            std::string(argv[1]) + "/seed-" + (n < 10 ? "0" : "") + std::to_string(n) + ".bin";
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(seed.data()),
                  static_cast<std::streamsize>(seed.size()));
        if (!out) {
            std::cerr << "cannot write " << path << "\n";
            return 1;
        }
        ++n;
    }
    std::cout << n << " seeds written\n";
    return 0;
}

}  // namespace bridge::fuzzing
