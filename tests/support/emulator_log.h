// The simulator emulator's exchange log read back as exchanges: each one's
// requests in block order, then its answer. A request is kept as a short text,
// "R 2F70 8" for a read and "W 310A 1 03" for a write with its bytes, so that
// a mismatch shows as readable lines.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace bridge::testing {

struct LoggedExchange {
    std::uint32_t number = 0;
    std::vector<std::string> requests;
    std::uint32_t answer = 0;
    std::uint32_t count = 0;  // the requests the emulator found in the block
    std::string fault;
};

// Lines other than R, W and X (READY, FAULT, BAD, STOP) are skipped; requests
// of an exchange whose X line has not been written yet are left out.
inline std::vector<LoggedExchange> ParseEmulatorLog(const std::string& log) {
    std::vector<LoggedExchange> exchanges;
    LoggedExchange current;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string kind, offset, last;
        std::uint32_t number = 0, size = 0;
        fields >> kind >> number;
        if (kind == "R" || kind == "W") {
            fields >> offset >> size >> last;
            std::string request = kind + " " + offset + " " + std::to_string(size);
            if (kind == "W") request += " " + last;
            current.number = number;
            current.requests.push_back(request);
        } else if (kind == "X") {
            current.number = number;
            fields >> current.answer >> current.count >> current.fault;
            exchanges.push_back(current);
            current = LoggedExchange{};
        }
    }
    return exchanges;
}

// The exchange with that number, or null.
inline const LoggedExchange* FindExchange(const std::vector<LoggedExchange>& exchanges,
                                          std::uint32_t number) {
    for (const LoggedExchange& e : exchanges) {
        if (e.number == number) return &e;
    }
    return nullptr;
}

}  // namespace bridge::testing
