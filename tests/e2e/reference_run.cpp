#include "tests/e2e/reference_run.h"

#include "boxlink/box_frames.h"
#include "radio/radio_cycle.h"
#include "simlink/sim_link_client.h"
#include "tests/support/fake_box_line.h"
#include "tests/support/fake_sim_transport.h"
#include "tests/support/fake_view.h"
#include "tests/support/test_bridge.h"
#include "tools/sim_emulator/flight_script.h"

namespace bridge::e2e {

ReferenceRun RunReference(const Settings& settings, int tickCount) {
    testing::FakeSimTransport transport;
    simemu::WriteControlValues(simemu::ControlValues{}, transport.server.image());
    simemu::WriteFlightValues(simemu::FixedFlightValues(), transport.server.image());
    SimLinkClient client(&transport);
    testing::FakeView view;
    testing::TestBridge bridge(client, view);
    BridgeState& s = bridge.state;
    s.Settings.CommsPort = static_cast<std::uint8_t>(settings.CommsPort);
    s.Settings.SL30Port = static_cast<std::uint8_t>(settings.SL30Port);
    s.Settings.SL40Port = static_cast<std::uint8_t>(settings.SL40Port);
    s.Settings.EGTCHTSplit = static_cast<std::uint8_t>(settings.EGTCHTSplit);
    s.Settings.NumberOfEngines = static_cast<std::uint8_t>(settings.NumberOfEngines);
    ComputeRadioPortMask(s.Settings, s.BoxPorts);

    SimLinkResult result;
    client.Open(0, result);
    s.Link.SimLinkUp = true;

    testing::FakeBoxLine port;
    MainCycle& cycle = bridge.cycle;
    BindBoxLine(&port);
    boxproto::OutgoingDecoder decoder;
    ReferenceRun run;
    for (int i = 0; i < tickCount; ++i) {
        cycle.Tick();
        decoder.Feed(port.TakeWritten());
        run.ticks.push_back(decoder.TakeFrames());
    }
    BindBoxLine(nullptr);
    run.exchanges = CycleExchanges(transport.serverLog);
    client.Close();
    return run;
}

std::vector<testing::LoggedExchange> CycleExchanges(const std::string& log) {
    auto exchanges = testing::ParseEmulatorLog(log);
    std::size_t first = 0;
    while (first < exchanges.size() &&
           (exchanges[first].requests.empty() || exchanges[first].requests[0] != "R 2F70 8")) {
        ++first;
    }
    exchanges.erase(exchanges.begin(), exchanges.begin() + static_cast<std::ptrdiff_t>(first));
    return exchanges;
}

std::vector<std::vector<boxproto::Frame>> TicksOnTheWire(const std::vector<BoxLogLine>& log) {
    std::vector<std::vector<boxproto::Frame>> ticks;
    std::vector<boxproto::Frame> echoes;
    for (const BoxLogLine& line : log) {
        if (line.kind == "tx" || line.kind == "echo" || line.frame.bytes.empty()) continue;
        const bool echo = line.kind == "item" && (line.tag == "16/1" || line.tag == "17/1");
        if (echo) {
            echoes.push_back(line.frame);
        } else if (line.kind == "attitude") {
            ticks.push_back(std::move(echoes));
            echoes.clear();
            ticks.back().push_back(line.frame);
        } else if (!ticks.empty()) {
            ticks.back().push_back(line.frame);
        }
    }
    return ticks;
}

}  // namespace bridge::e2e
