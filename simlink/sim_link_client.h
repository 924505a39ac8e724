// The client side of the simulator's IPC link: finds the server window,
// shares a request block with it through a named section whose name travels
// as a global atom, checks the server's version, and runs batches of queued
// reads and writes in one window message each.
//
// Every operation runs on one thread. While an exchange waits for the server's
// answer, the transport may dispatch messages sent to this thread, so any of
// these operations can be called again from inside the wait. The block is then
// being read by the server and must stay as it is, so such nested calls leave
// it alone: Read and Write refuse with BlockFull (nothing is queued), Process
// fails with NothingQueued, Open answers AlreadyOpen, and Close is carried out
// as soon as the exchange in progress has finished (after its values have been
// delivered).
#pragma once

#include <array>
#include <cstdint>

#include "simlink/exchange_counts.h"
#include "simlink/request_block.h"
#include "simlink/sim_link_api.h"
#include "simlink/sim_link_result.h"
#include "simlink/sim_link_transport.h"

namespace bridge {

inline constexpr const char* kServerWindowClass = "UIPCMAIN";
inline constexpr const char* kServerWindowClassOld = "FS98MAIN";
inline constexpr const char* kIpcMessageName = "FsasmLib:IPC";
inline constexpr std::uint32_t kServerVersionOffset = 0x3304;
inline constexpr std::uint32_t kSimulatorIdOffset = 0x3308;
inline constexpr std::uint32_t kClientStampOffset = 0x330A;
inline constexpr std::uint16_t kClientStamp = 2005;
inline constexpr std::uint32_t kMinServerVersion = 0x19980005;
inline constexpr std::uint32_t kSimulatorIdMarker = 0xFADE;
inline constexpr int kHandshakeAttempts = 5;
inline constexpr std::uint32_t kHandshakePauseMs = 100;
inline constexpr int kSendAttempts = 10;
inline constexpr std::uint32_t kSendTimeoutMs = 400;
inline constexpr std::uint32_t kSendPauseMs = 10;
// The system's code for a send that timed out (ERROR_TIMEOUT).
inline constexpr std::uint32_t kTimeoutError = 1460;
// The last part of the section's name, "FsasmLib:IPC:<pid>:1".
inline constexpr unsigned kSectionNumber = 1;

class SimLinkClient final : public SimLinkApi {
public:
    explicit SimLinkClient(SimLinkTransport* transport = nullptr) : transport_(transport) {}
    ~SimLinkClient() { Close(); }
    SimLinkClient(const SimLinkClient&) = delete;
    SimLinkClient& operator=(const SimLinkClient&) = delete;

    // Closes the link first if it is open; refused (false) during an
    // exchange. The transport must outlive its use.
    bool SetTransport(SimLinkTransport* transport);

    // `requestedSimulator` 0 accepts any simulator. A section of the
    // process's name that a server still holds is taken over; while another
    // client of this process holds it, opening fails with MappingFailed.
    bool Open(std::int32_t requestedSimulator, SimLinkResult& result);
    // Releases the atom, the view and the section, in that order; harmless
    // when closed. Server version and simulator id keep their values.
    void Close();

    bool Read(std::uint32_t offset, std::uint32_t size, void* destination,
              SimLinkResult& result) override;
    bool Write(std::uint32_t offset, std::uint32_t size, const void* source,
               SimLinkResult& result) override;
    bool Process(SimLinkResult& result) override;

    bool IsOpen() const { return view_ != nullptr; }
    // After a successful open the low 16 bits of the value at 0x3308.
    std::uint32_t SimulatorId() const { return simulatorId_; }
    std::uint32_t ServerVersion() const { return serverVersion_; }
    // The system's error code of the last exchange that did not get through
    // (0 when it got through); e.g. 5 when the server's messages are blocked.
    std::uint32_t LastSendError() const { return lastSendError_; }
    // The name of the section and of the atom, e.g. "FsasmLib:IPC:4D2:1".
    const char* MappingName() const { return mappingName_.data(); }
    // The exchanges with the server since the client was made.
    const ExchangeCounts& Counts() const { return counts_; }

private:
    bool Fail(SimLinkResult code, SimLinkResult& result);
    bool CreateSharedBlock(SimLinkResult& result);
    bool Handshake(SimLinkResult& result);
    bool CheckServer(std::int32_t requestedSimulator, bool oldClass, SimLinkResult& result);
    SendOutcome SendWithRetries();
    bool Exchange(SimLinkResult& result);

    SimLinkTransport* transport_;
    NativeHandle window_ = nullptr;
    std::uint32_t messageId_ = 0;
    std::uint16_t atom_ = 0;
    NativeHandle section_ = nullptr;
    std::uint8_t* view_ = nullptr;
    std::uint32_t serverVersion_ = 0;
    std::uint32_t simulatorId_ = 0;
    std::uint32_t lastSendError_ = 0;
    bool exchanging_ = false;
    bool closeDeferred_ = false;
    std::array<char, 48> mappingName_{};
    RequestQueue queue_;
    ExchangeCounts counts_;
};

}  // namespace bridge
