#include "app/identity/box_adapter.h"

#include <algorithm>
#include <utility>

#include "app/identity/port_advice.h"
#include "platform/port_list/instance_id.h"

namespace bridge {
namespace {

bool Contains(const std::vector<std::string>& ids, const std::string& id) {
    return std::any_of(ids.begin(), ids.end(),
                       [&](const std::string& listed) { return SameIdText(listed, id); });
}

}  // namespace

BoxAdapter::BoxAdapter(PortListing& listing, WindowLog& log) : listing_(listing), log_(log) {}

void BoxAdapter::Load(std::optional<AdapterIdentity> saved, unsigned savedNumber) {
    if (saved && saved->portNumber != savedNumber) saved.reset();
    identity_ = std::move(saved);
}

unsigned BoxAdapter::AtStart(unsigned savedNumber, std::uint64_t nowMs) {
    List(nowMs);
    if (!identity_) return savedNumber;
    const AdapterIdentity& taken = *identity_;
    return Search(savedNumber,
                  [&taken](const ListedPort& port) { return !WasPresent(taken, port); })
        .value_or(savedNumber);
}

std::optional<unsigned> BoxAdapter::AtResume(unsigned savedNumber, std::uint64_t nowMs) {
    List(nowMs);
    searchDue_ = false;
    return Search(savedNumber, [this](const ListedPort& port) {
        return lostIds_ && !Contains(*lostIds_, port.instanceId);
    });
}

void BoxAdapter::PortOpened(unsigned number) {
    lostIds_.reset();
    searchDue_ = false;
    const ListedPort* port = PortAt(number);
    if (port == nullptr) return;
    if (!identity_) identity_ = TakeIdentity(*port, ports_);
    if (const auto advice = LatencyAdvice(*port)) Say(*advice);
}

void BoxAdapter::PortChosen(unsigned number) {
    lostIds_.reset();
    searchDue_ = false;
    mayBeIds_.clear();
    const ListedPort* port = PortAt(number);
    identity_ = port != nullptr ? TakeIdentity(*port, ports_) : std::nullopt;
    if (port == nullptr) return;
    if (const auto advice = LatencyAdvice(*port)) Say(*advice);
}

void BoxAdapter::PortLost(std::uint64_t nowMs) {
    List(nowMs);
    std::vector<std::string> ids;
    for (const ListedPort& port : ports_) ids.push_back(port.instanceId);
    lostIds_ = std::move(ids);
}

void BoxAdapter::DeviceChanged(std::uint64_t) { changed_ = true; }

std::optional<unsigned> BoxAdapter::Tick(unsigned savedNumber, std::uint64_t nowMs) {
    // Unsigned: a clock that went back gives a large difference, and a listing.
    const std::uint64_t since = nowMs - listedMs_;
    if ((changed_ && since >= kDeviceChangeGapMs) || (lostIds_ && since >= kListWhileLostEveryMs)) {
        List(nowMs);
        searchDue_ = lostIds_.has_value();
    }
    if (!searchDue_) return std::nullopt;
    searchDue_ = false;
    return Search(savedNumber,
                  [this](const ListedPort& port) { return !Contains(*lostIds_, port.instanceId); });
}

PortMark BoxAdapter::MarkOf(const ListedPort& port, unsigned boxNumber) const {
    const bool box = identity_ ? IsAdapter(*identity_, port) : port.number == boxNumber;
    if (box && port.number != 0) return PortMark::BoxAdapter;
    return Contains(mayBeIds_, port.instanceId) ? PortMark::MayBe : PortMark::None;
}

std::vector<std::string> BoxAdapter::ReportLines(unsigned boxNumber) const {
    std::vector<std::string> lines;
    for (const ListedPort& port : ports_) {
        const PortMark mark = MarkOf(port, boxNumber);
        lines.push_back(PortReportLine(port) +
                        (mark == PortMark::BoxAdapter ? "  <- the box's adapter"
                         : mark == PortMark::MayBe    ? "  <- may be the box's adapter"
                                                      : ""));
    }
    lines.insert(lines.end(), advice_.begin(), advice_.end());
    return lines;
}

void BoxAdapter::List(std::uint64_t nowMs) {
    ports_ = listing_.List();
    listedMs_ = nowMs;
    changed_ = false;
    for (const ListedPort& port : ports_) {
        if (const auto advice = ProblemAdvice(port)) Say(*advice);
    }
    if (OnPortsListed) OnPortsListed();
}

// The adapter under a new number is said each time it moves; the rest once.
std::optional<unsigned> BoxAdapter::Search(unsigned savedNumber, const CountsAsNew& countsAsNew) {
    if (!identity_) return std::nullopt;
    const AdapterSearch found = FindAdapter(*identity_, savedNumber, ports_, countsAsNew);
    mayBeIds_.clear();
    switch (found.place) {
        case AdapterPlace::Moved: {
            const ListedPort& port = *found.ports.front();
            log_.Append(MovedLine(port, savedNumber));
            // The identity follows the adapter: its number, and the instance
            // id Windows gave it where it is plugged now.
            identity_->portNumber = port.number;
            identity_->instanceId = port.instanceId;
            if (!Contains(identity_->presentIds, port.instanceId)) {
                identity_->presentIds.push_back(port.instanceId);
            }
            return port.number;
        }
        case AdapterPlace::MayBe:
            for (const ListedPort* port : found.ports) mayBeIds_.push_back(port->instanceId);
            Say(MayBeLine(found.ports));
            break;
        case AdapterPlace::LookAlike: Say(LookAlikeLine(found.ports)); break;
        case AdapterPlace::NotListed:
        case AdapterPlace::AtSavedNumber: break;
    }
    return std::nullopt;
}

void BoxAdapter::Say(const std::string& line) {
    if (!said_.insert(line).second) return;
    advice_.push_back(line);
    log_.Append(line);
}

const ListedPort* BoxAdapter::PortAt(unsigned number) const {
    for (const ListedPort& port : ports_) {
        if (port.number == number && number != 0) return &port;
    }
    return nullptr;
}

}  // namespace bridge
