#include "shell/LoginItem.h"

#include "foundation/FileIO.h"
#include "foundation/Log.h"
#include "foundation/RuntimePaths.h"
#include "foundation/Text.h"

namespace parlendo {

LoginItem::LoginItem(std::filesystem::path file, std::string programPath)
    : file_(std::move(file)), programPath_(std::move(programPath)) {}

std::filesystem::path LoginItem::defaultFile() {
    return RuntimePaths::configHome(RuntimePaths::processEnvironment()) / "autostart" / fileName;
}

LoginItem::Reading LoginItem::read(std::string_view text) {
    Reading reading;
    bool inEntry = false;
    size_t start = 0;
    while (start <= text.size()) {
        const auto end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text::trimAscii(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
            reading.desktopEntry = reading.desktopEntry || inEntry;
            continue;
        }
        const auto equals = line.find('=');
        if (!inEntry || equals == std::string_view::npos) {
            continue;
        }
        if (text::trimAscii(line.substr(0, equals)) == "Hidden") {
            reading.hidden = text::trimAscii(line.substr(equals + 1)) == "true";
        }
    }
    return reading;
}

LoginItem::Status LoginItem::status() const {
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) {
        return Status::notRegistered;
    }
    const auto text = fileio::readFile(file_);
    const Reading reading = text && text::isValidUtf8(*text) ? read(*text) : Reading{};
    if (!reading.desktopEntry) {
        if (!reportedBad_) {
            reportedBad_ = true;
            Log::write("install", "login_item 파일이 올바르지 않음 — 꺼진 것으로 본다 file=" +
                                      file_.filename().string());
        }
        return Status::notRegistered;
    }
    reportedBad_ = false;
    return reading.hidden ? Status::notRegistered : Status::enabled;
}

std::string LoginItem::execValue(const std::string& programPath) {
    std::string out = "\"";
    for (char c : programPath) {
        switch (c) {
            case '"':
            case '`':
            case '$':
                out += '\\';
                out += c;
                break;
            case '\\':
                // Escaped for the quoting, then again for the string value.
                out += "\\\\\\\\";
                break;
            case '%':
                out += "%%";
                break;
            default:
                out += c;
        }
    }
    return out + "\"";
}

std::string LoginItem::entry(const std::string& programPath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=PARLENDO\n"
           "Comment=선택한 영어 단어와 문장의 뜻을 보여 줘요\n"
           "Exec=" +
           execValue(programPath) +
           "\n"
           "Icon=parlendo\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::error_code LoginItem::registerItem() const {
    if (programPath_.empty()) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    // The autostart folder is the desktop's: it is made when missing, but its mode is left alone.
    const std::error_code ec =
        fileio::writeAtomically(file_, entry(programPath_), std::filesystem::path());
    if (!ec) {
        reportedBad_ = false;
    }
    return ec;
}

std::error_code LoginItem::unregisterItem() const {
    std::error_code ec;
    std::filesystem::remove(file_, ec);
    return ec;
}

}  // namespace parlendo
