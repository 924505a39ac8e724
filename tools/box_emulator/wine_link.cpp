#include "tools/box_emulator/wine_link.h"

#include <filesystem>
#include <system_error>

namespace boxemu {

namespace fs = std::filesystem;

std::string DefaultStableLink(const std::string& winePrefix, unsigned com) {
    return (fs::path(winePrefix) / "box-emulator" / ("com" + std::to_string(com))).string();
}

std::string ComPortLinkPath(const std::string& winePrefix, unsigned com) {
    return (fs::path(winePrefix) / "dosdevices" / ("com" + std::to_string(com))).string();
}

std::optional<std::string> PointLink(const std::string& link, const std::string& target) {
    std::error_code ec;
    const fs::path path(link);
    const fs::path folder = fs::absolute(path, ec).parent_path();
    if (!ec) fs::create_directories(folder, ec);
    if (ec) return "cannot create " + folder.string() + ": " + ec.message();
    // A new link under a temporary name, renamed over the old one, so the
    // path never goes missing for a reader.
    const fs::path temporary = folder / (path.filename().string() + ".new");
    fs::remove(temporary, ec);
    fs::create_symlink(target, temporary, ec);
    if (!ec) fs::rename(temporary, path, ec);
    if (ec) return "cannot link " + link + " to " + target + ": " + ec.message();
    return std::nullopt;
}

std::optional<std::string> RetireLink(const std::string& link) {
    std::error_code ec;
    const fs::path folder = fs::absolute(fs::path(link), ec).parent_path();
    if (ec) return "cannot retire " + link + ": " + ec.message();
    return PointLink(link, folder.string());
}

}  // namespace boxemu
