#include "shell/RelaunchHelper.h"

#include <filesystem>
#include <system_error>

namespace parlendo::RelaunchHelper {

const std::string& script() {
    static const std::string text =
        "i=0\n"
        "while kill -0 \"$1\" 2>/dev/null; do\n"
        "  i=$((i+1))\n"
        "  if [ \"$i\" -ge 300 ]; then exit 1; fi\n"
        "  /bin/sleep 0.1\n"
        "done\n"
        "/bin/sleep 0.2\n"
        "\"$3\" \"$2\" && exit 0\n"
        "/bin/sleep 1\n"
        "exec \"$3\" \"$2\"";
    return text;
}

Command command(pid_t waitingFor, const std::string& programPath, const std::string& opener) {
    return Command{
        executable,
        {"-c", script(), "parlendo-relaunch", std::to_string(waitingFor), programPath, opener}};
}

std::string programPath() {
    std::error_code ec;
    std::string path = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    if (ec) {
        return "";
    }
    constexpr std::string_view deleted = " (deleted)";
    if (path.ends_with(deleted)) {
        path.resize(path.size() - deleted.size());
    }
    return path;
}

}  // namespace parlendo::RelaunchHelper
