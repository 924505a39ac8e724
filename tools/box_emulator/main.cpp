// box_emulator: the interface box's end of the bridge's serial line, for
// trying the bridge without the hardware and for end-to-end tests.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/box_emulator/emulator.h"
#include "tools/box_emulator/options.h"
#include "tools/box_emulator/wine_link.h"

namespace {

using namespace boxemu;

// Parses the whole script before the line opens, so a typo stops the run
// before it starts rather than halfway through.
bool LoadScript(const std::string& path, Sequencer& sequencer) {
    std::ifstream file(path);
    if (!file) {
        std::cerr << "box_emulator: cannot read " << path << "\n";
        return false;
    }
    bool ok = true;
    std::string text;
    for (unsigned number = 1; std::getline(file, text); ++number) {
        const std::string origin = path + ":" + std::to_string(number);
        ParsedLine parsed = ParseCommand(text);
        if (!parsed.error.empty()) {
            std::cerr << origin << ": " << parsed.error << "\n";
            ok = false;
        } else if (parsed.command) {
            sequencer.Append(std::move(*parsed.command), origin, true);
        }
    }
    return ok;
}

struct Links {
    std::string stable;
    std::string com;
};

bool SetUpLinks(const Options& o, const std::string& pty, Links& links) {
    links.stable = o.link;
    if (links.stable.empty() && !o.winePrefix.empty()) {
        links.stable = DefaultStableLink(o.winePrefix, o.com);
    }
    if (links.stable.empty()) return true;
    auto error = PointLink(links.stable, pty);
    if (!error && !o.winePrefix.empty()) {
        links.com = ComPortLinkPath(o.winePrefix, o.com);
        error = PointLink(links.com, links.stable);
    }
    if (error) std::cerr << "box_emulator: " << *error << "\n";
    return !error;
}

void WriteSummary(const std::string& summary, const std::string& path) {
    std::fwrite(summary.data(), 1, summary.size(), stdout);
    std::fflush(stdout);
    if (path.empty()) return;
    std::ofstream file(path);
    file << summary;
    if (!file) std::cerr << "box_emulator: cannot write " << path << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    const ParsedOptions parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::cerr << "box_emulator: " << parsed.error << "\n" << UsageText();
        return kExitLineFailed;
    }
    const Options& o = parsed.options;
    if (o.help) {
        std::cout << UsageText();
        return 0;
    }
    InstallStopHandlers();
    ViewMode view = o.view;
    if (view == ViewMode::Auto) view = OutputIsTerminal() ? ViewMode::Panel : ViewMode::Plain;

    FrameLog log;
    if (!o.logPath.empty() && !log.Open(o.logPath)) {
        std::cerr << "box_emulator: cannot write " << o.logPath << "\n";
        return kExitLineFailed;
    }
    std::string error;
    auto line =
        o.pty ? SerialLine::OpenPseudoTerminal(error) : SerialLine::OpenDevice(o.device, error);
    if (!line) {
        std::cerr << "box_emulator: " << error << "\n";
        return kExitLineFailed;
    }
    Links links;
    if (!SetUpLinks(o, line->PeerPath(), links)) return kExitLineFailed;

    std::string portText = line->PeerPath();
    if (!links.com.empty()) {
        portText += " (COM" + std::to_string(o.com) + ")";
    } else if (!links.stable.empty()) {
        portText += " (" + links.stable + ")";
    }
    Emulator emulator(*line, o, log, view, portText, NowMs());
    if (!o.script.empty() && !LoadScript(o.script, emulator.sequencer())) {
        if (!links.stable.empty()) RetireLink(links.stable);
        return kExitScriptFailed;
    }

    std::string ready = "ready port=" + line->PeerPath();
    if (!links.stable.empty()) ready += " link=" + links.stable;
    if (!links.com.empty()) ready += " com=" + links.com;
    std::printf("%s\n", ready.c_str());
    std::fflush(stdout);

    const int status = emulator.Run();
    if (!links.stable.empty()) {
        if (const auto e = RetireLink(links.stable)) std::cerr << "box_emulator: " << *e << "\n";
    }
    WriteSummary(emulator.Summary(), o.summaryPath);
    return status;
}
