#include "app/identity/box_adapter.h"

#include <utility>

#include "app/identity/port_advice.h"
#include "platform/port_list/instance_id.h"

namespace bridge {

BoxAdapter::BoxAdapter(PortListing& listing, WindowLog& log) : listing_(listing), log_(log) {}

void BoxAdapter::Load(std::optional<AdapterIdentity> saved, unsigned number) {
    if (saved && saved->portNumber != number) saved.reset();
    if (saved) saved = WithoutSharedIds(std::move(*saved));
    identity_ = std::move(saved);
}

void BoxAdapter::List(std::uint64_t nowMs, bool boxOpen) {
    std::vector<ListedPort> ports = listing_.List();
    const bool changed = ports != ports_;
    ports_ = std::move(ports);
    listedMs_ = nowMs;
    for (const ListedPort& port : ports_) {
        if (const auto advice = ProblemAdvice(port)) Say(*advice);
    }
    if (boxOpen && identity_) {
        knownIds_ = AlikeIds(*identity_, ports_);
        if (recording_) Record();
    }
    if (changed && OnPortsChanged) OnPortsChanged();
}

AdapterAnswer BoxAdapter::Find(unsigned number, bool atStart, std::uint64_t nowMs) {
    const std::vector<std::string> mayBe = mayBeIds_;
    const std::vector<std::string> lookAlike = lookAlikeIds_;
    const AdapterAnswer answer = Search(number, atStart, nowMs);
    if ((mayBe != mayBeIds_ || lookAlike != lookAlikeIds_) && OnPortsChanged) OnPortsChanged();
    return answer;
}

AdapterAnswer BoxAdapter::Search(unsigned number, bool atStart, std::uint64_t nowMs) {
    const ListedPort* atNumber = PortAt(number);
    AdapterAnswer answer{AdapterAnswer::Action::Open, number, nullptr,
                         atNumber != nullptr && atNumber->bus == PortBus::Bluetooth};
    if (!identity_) return answer;
    const AdapterSearch found = FindAdapter(*identity_, number, ports_, Known(atStart));
    mayBeIds_.clear();
    lookAlikeIds_.clear();
    if (found.place != AdapterPlace::Arrived) candidateId_.clear();
    switch (found.place) {
        case AdapterPlace::Moved:
        case AdapterPlace::Arrived: {
            const ListedPort& port = *found.ports.front();
            if (found.place == AdapterPlace::Moved || atStart || Agreed(port, nowMs)) {
                return {AdapterAnswer::Action::Follow, port.number, nullptr,
                        port.bus == PortBus::Bluetooth};
            }
            Mark(mayBeIds_, found.ports);  // until a second listing agrees
            break;
        }
        case AdapterPlace::MayBe:
            Mark(mayBeIds_, found.ports);
            Say(MayBeLine(found.ports));
            break;
        case AdapterPlace::LookAlike:
            Mark(lookAlikeIds_, found.ports);
            Say(LookAlikeLine(found.ports));
            break;
        case AdapterPlace::NotListed:
        case AdapterPlace::AtNumber: break;
    }
    if (atNumber != nullptr && IsOtherDevice(*identity_, *atNumber)) {
        return {AdapterAnswer::Action::Leave, number, atNumber, false};
    }
    return answer;
}

void BoxAdapter::Opened(unsigned number, unsigned wasNumber) {
    candidateId_.clear();
    const ListedPort* port = PortAt(number);
    if (identity_ && number != wasNumber && port != nullptr) {
        log_.Append(MovedLine(*port, wasNumber));
        identity_->portNumber = number;
        identity_->instanceId = port->instanceId;
        identity_ = WithoutSharedIds(std::move(*identity_));
    }
    if (!identity_ && port != nullptr) identity_ = TakeIdentity(*port, ports_);
    if (identity_) {
        // A new record of the ports alike, from this listing on.
        identity_->presentIds.clear();
        identity_->presentIdsKnown = true;
        recording_ = true;
        knownIds_ = AlikeIds(*identity_, ports_);
        Record();
    }
    if (port != nullptr) {
        if (const auto advice = LatencyAdvice(*port)) Say(*advice);
    }
}

void BoxAdapter::Chosen(unsigned number) {
    recording_ = false;
    knownIds_.reset();
    candidateId_.clear();
    mayBeIds_.clear();
    lookAlikeIds_.clear();
    const ListedPort* port = PortAt(number);
    identity_ = port != nullptr ? TakeIdentity(*port, ports_) : std::nullopt;
}

const ListedPort* BoxAdapter::PortAt(unsigned number) const {
    for (const ListedPort& port : ports_) {
        if (port.number == number && number != 0) return &port;
    }
    return nullptr;
}

PortMark BoxAdapter::MarkOf(const ListedPort& port, unsigned boxNumber) const {
    const bool box = identity_ ? IsAdapter(*identity_, port) : port.number == boxNumber;
    if (box && port.number != 0) return PortMark::BoxAdapter;
    if (ContainsId(lookAlikeIds_, port.instanceId)) return PortMark::LookAlike;
    return ContainsId(mayBeIds_, port.instanceId) ? PortMark::MayBe : PortMark::None;
}

std::vector<std::string> BoxAdapter::ReportLines(unsigned boxNumber) const {
    std::vector<std::string> lines;
    for (const ListedPort& port : ports_) {
        const PortMark mark = MarkOf(port, boxNumber);
        lines.push_back(PortReportLine(port) +
                        (mark == PortMark::BoxAdapter  ? "  <- the box's adapter"
                         : mark == PortMark::MayBe     ? "  <- may be the box's adapter"
                         : mark == PortMark::LookAlike ? "  <- looks like the box's adapter"
                                                       : ""));
    }
    lines.insert(lines.end(), advice_.begin(), advice_.end());
    return lines;
}

const std::vector<std::string>* BoxAdapter::Known(bool atStart) const {
    if (!atStart && knownIds_) return &*knownIds_;
    return identity_->presentIdsKnown ? &identity_->presentIds : nullptr;
}

bool BoxAdapter::Agreed(const ListedPort& port, std::uint64_t nowMs) {
    if (!SameIdText(candidateId_, port.instanceId) || candidateId_.empty()) {
        candidateId_ = port.instanceId;
        candidateSinceMs_ = nowMs;
        return false;
    }
    // Unsigned: a clock that went back gives a large difference.
    return nowMs - candidateSinceMs_ >= kAgreeAfterMs;
}

void BoxAdapter::Mark(std::vector<std::string>& ids, const std::vector<const ListedPort*>& ports) {
    for (const ListedPort* port : ports) ids.push_back(port->instanceId);
}

// The ids of every listing while the port is open, as long as the settings
// file can keep them; beyond that they are unknown until the next opening.
void BoxAdapter::Record() {
    if (!identity_->presentIdsKnown) return;
    std::size_t length = 0;
    for (const std::string& id : identity_->presentIds) length += id.size() + 1;
    for (const std::string& id : AlikeIds(*identity_, ports_)) {
        if (ContainsId(identity_->presentIds, id)) continue;
        length += id.size() + 1;
        if (!KeepableText(id) || length > kLongestPresentIds) {
            identity_->presentIdsKnown = false;
            identity_->presentIds.clear();
            return;
        }
        identity_->presentIds.push_back(id);
    }
}

void BoxAdapter::Say(const std::string& line) {
    if (!said_.insert(line).second) return;
    advice_.push_back(line);
    log_.Append(line);
}

}  // namespace bridge
