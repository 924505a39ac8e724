#include "simlink/sim_link_client.h"

#include <atomic>
#include <cstdio>

#include "base/byte_order.h"

namespace bridge {
namespace {

// How many clients of this process hold their section (a handle to it) now.
// Opening and closing run on one thread, the count is atomic all the same.
constinit std::atomic<int> gSectionsHeld{0};

}  // namespace

bool SimLinkClient::SetTransport(SimLinkTransport* transport) {
    if (exchanging_) return false;
    Close();
    transport_ = transport;
    return true;
}

bool SimLinkClient::Fail(SimLinkResult code, SimLinkResult& result) {
    result = code;
    return false;
}

bool SimLinkClient::Open(std::int32_t requestedSimulator, SimLinkResult& result) {
    if (IsOpen()) return Fail(SimLinkResult::AlreadyOpen, result);
    serverVersion_ = 0;
    lastSendError_ = 0;
    simulatorId_ = 0;
    if (transport_ == nullptr) return Fail(SimLinkResult::NoServer, result);

    bool oldClass = false;
    window_ = transport_->FindServerWindow(kServerWindowClass);
    if (window_ == nullptr) {
        window_ = transport_->FindServerWindow(kServerWindowClassOld);
        oldClass = true;
    }
    if (window_ == nullptr) return Fail(SimLinkResult::NoServer, result);

    messageId_ = transport_->RegisterIpcMessage(kIpcMessageName);
    if (messageId_ == 0) {
        window_ = nullptr;
        return Fail(SimLinkResult::RegisterFailed, result);
    }
    if (!CreateSharedBlock(result)) {
        Close();
        return false;
    }
    if (!Handshake(result) || !CheckServer(requestedSimulator, oldClass, result)) {
        Close();
        return false;
    }
    result = SimLinkResult::Okay;
    return true;
}

// The section's name is the process's own, so a section of that name that
// exists already is this process's earlier block, kept mapped by a server
// after the link was closed. Such a server finds the block again by the
// atom's name, or reuses its view whenever the atom's number comes back, and
// the system may well hand the freed number out again for the new atom. So
// the old block is taken over and the requests are written there from its
// start: both kinds of server then serve the block the client fills. (Passing
// over to a section of another name lets a server that goes by the number
// replay the old block, writes included.) Two links of one process must not
// share a block: while another client holds the section, it is refused.
bool SimLinkClient::CreateSharedBlock(SimLinkResult& result) {
    std::snprintf(mappingName_.data(), mappingName_.size(), "%s:%X:%X", kIpcMessageName,
                  static_cast<unsigned>(transport_->ProcessId()), kSectionNumber);
    atom_ = transport_->AddGlobalAtom(mappingName_.data());
    if (atom_ == 0) return Fail(SimLinkResult::AtomFailed, result);
    bool alreadyExisted = false;
    section_ = transport_->CreateSection(mappingName_.data(), kRequestBlockSize, alreadyExisted);
    if (section_ == nullptr) return Fail(SimLinkResult::MappingFailed, result);
    const bool heldByAnotherClient = gSectionsHeld.fetch_add(1) > 0;
    if (alreadyExisted && heldByAnotherClient) return Fail(SimLinkResult::MappingFailed, result);
    // Mapped at the block's size, so a smaller section of that name fails here.
    view_ = transport_->MapSection(section_, kRequestBlockSize);
    if (view_ == nullptr) return Fail(SimLinkResult::ViewFailed, result);
    queue_.Attach(RequestBlock(view_, kRequestBlockSize));
    return true;
}

// Reads the server version and the simulator id until both are set, at most
// five times; the client stamp goes with the first attempt only.
bool SimLinkClient::Handshake(SimLinkResult& result) {
    std::array<std::uint8_t, 4> version{};
    std::array<std::uint8_t, 4> simulator{};
    std::array<std::uint8_t, 2> stamp{};
    PutU16(stamp, 0, kClientStamp);
    for (int attempt = 0;
         attempt < kHandshakeAttempts && (serverVersion_ == 0 || simulatorId_ == 0); ++attempt) {
        const bool done = Read(kServerVersionOffset, 4, version.data(), result) &&
                          Read(kSimulatorIdOffset, 4, simulator.data(), result) &&
                          (attempt > 0 || Write(kClientStampOffset, 2, stamp.data(), result)) &&
                          Process(result);
        if (!done) return false;
        serverVersion_ = GetU32(version, 0);
        simulatorId_ = GetU32(simulator, 0);
        transport_->Pause(kHandshakePauseMs);
    }
    // A close requested from inside an exchange has been carried out.
    if (!IsOpen()) return Fail(SimLinkResult::NotOpen, result);
    return true;
}

bool SimLinkClient::CheckServer(std::int32_t requestedSimulator, bool oldClass,
                                SimLinkResult& result) {
    if (serverVersion_ < kMinServerVersion || (simulatorId_ >> 16) != kSimulatorIdMarker) {
        return Fail(oldClass ? SimLinkResult::NoSimOnServer : SimLinkResult::WrongVersion, result);
    }
    simulatorId_ &= 0xFFFFu;
    if (requestedSimulator != 0 && static_cast<std::uint32_t>(requestedSimulator) != simulatorId_) {
        return Fail(SimLinkResult::WrongSimulator, result);
    }
    return true;
}

void SimLinkClient::Close() {
    if (exchanging_) {
        closeDeferred_ = true;  // nested in an exchange: the server is using the block
        return;
    }
    closeDeferred_ = false;
    window_ = nullptr;
    messageId_ = 0;
    queue_.Detach();
    if (atom_ != 0) {
        transport_->RemoveGlobalAtom(atom_);
        atom_ = 0;
    }
    if (view_ != nullptr) {
        transport_->UnmapSection(view_);
        view_ = nullptr;
    }
    if (section_ != nullptr) {
        transport_->CloseSection(section_);
        section_ = nullptr;
        gSectionsHeld.fetch_sub(1);
    }
}

bool SimLinkClient::Read(std::uint32_t offset, std::uint32_t size, void* destination,
                         SimLinkResult& result) {
    if (exchanging_) return Fail(SimLinkResult::BlockFull, result);
    if (!IsOpen()) return Fail(SimLinkResult::NotOpen, result);
    result = queue_.QueueRead(offset, size, destination);
    return result == SimLinkResult::Okay;
}

bool SimLinkClient::Write(std::uint32_t offset, std::uint32_t size, const void* source,
                          SimLinkResult& result) {
    if (exchanging_) return Fail(SimLinkResult::BlockFull, result);
    if (!IsOpen()) return Fail(SimLinkResult::NotOpen, result);
    result = queue_.QueueWrite(offset, size, source);
    return result == SimLinkResult::Okay;
}

bool SimLinkClient::Process(SimLinkResult& result) {
    if (exchanging_) return Fail(SimLinkResult::NothingQueued, result);
    if (!IsOpen()) return Fail(SimLinkResult::NotOpen, result);
    if (queue_.Empty()) return Fail(SimLinkResult::NothingQueued, result);
    const std::int64_t start = SteadyMicroseconds();
    const bool done = Exchange(result);
    counts_.Add(done, start, SteadyMicroseconds() - start, static_cast<std::uint32_t>(result));
    if (closeDeferred_) Close();
    return done;
}

// The queue is empty afterwards whatever the outcome: a failed batch is not
// sent again.
bool SimLinkClient::Exchange(SimLinkResult& result) {
    queue_.Seal();
    exchanging_ = true;
    const SendOutcome outcome = SendWithRetries();
    exchanging_ = false;
    lastSendError_ = outcome.delivered ? 0 : outcome.lastError;
    if (!outcome.delivered) {
        queue_.Clear();
        // Older systems left the error at 0 on a timeout, newer ones set
        // ERROR_TIMEOUT; both are timeouts.
        const bool timedOut = outcome.lastError == 0 || outcome.lastError == kTimeoutError;
        return Fail(timedOut ? SimLinkResult::TimedOut : SimLinkResult::SendFailed, result);
    }
    if (outcome.reply != 1) {
        queue_.Clear();
        return Fail(SimLinkResult::BadReply, result);
    }
    result = queue_.Deliver();
    return result == SimLinkResult::Okay;
}

SendOutcome SimLinkClient::SendWithRetries() {
    SendOutcome outcome;
    for (int send = 0; send < kSendAttempts; ++send) {
        outcome = transport_->SendIpcMessage(window_, messageId_, atom_, kSendTimeoutMs);
        if (outcome.delivered) break;
        transport_->Pause(kSendPauseMs);
    }
    return outcome;
}

}  // namespace bridge
