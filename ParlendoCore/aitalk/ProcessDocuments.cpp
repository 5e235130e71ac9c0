#include "aitalk/ProcessDocuments.h"

#include "aitalk/ViewerProbe.h"
#include "foundation/FileIO.h"
#include "foundation/PyText.h"
#include "foundation/Text.h"

#include <algorithm>

namespace parlendo::ProcessDocuments {

namespace {

namespace fs = std::filesystem;

bool isPDFName(const std::string& path) {
    return text::asciiLower(path).ends_with(".pdf");
}

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

void add(std::vector<std::string>& out, const fs::path& path) {
    if (!path.is_absolute() || !isPDFName(path.string()) || !isFile(path)) {
        return;
    }
    const std::string text = path.lexically_normal().string();
    if (std::find(out.begin(), out.end(), text) == out.end()) {
        out.push_back(text);
    }
}

}  // namespace

std::vector<std::string> candidates(std::int32_t pid, const fs::path& proc) {
    std::vector<std::string> out;
    if (pid <= 0) {
        return out;
    }
    const fs::path base = proc / std::to_string(pid);
    std::error_code error;
    const fs::path cwd = fs::read_symlink(base / "cwd", error);
    if (const auto cmdline = fileio::readFile(base / "cmdline")) {
        std::vector<std::string> args;
        size_t start = 0;
        for (size_t i = 0; i <= cmdline->size(); ++i) {
            if (i == cmdline->size() || (*cmdline)[i] == '\0') {
                if (i > start) {
                    args.push_back(cmdline->substr(start, i - start));
                }
                start = i + 1;
            }
        }
        for (size_t i = 1; i < args.size(); ++i) {
            if (auto path = ViewerProbe::filePath(args[i])) {
                add(out, *path);
            } else if (!args[i].starts_with("-")) {
                const fs::path arg(args[i]);
                add(out, arg.is_absolute() || cwd.empty() ? arg : cwd / arg);
            }
        }
    }
    std::vector<fs::path> open;
    for (fs::directory_iterator it(base / "fd", error), end; !error && it != end;
         it.increment(error)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError) {
            open.push_back(target);
        }
    }
    std::sort(open.begin(), open.end());
    for (const auto& target : open) {
        add(out, target);
    }
    return out;
}

std::optional<std::string> document(std::int32_t pid, const std::optional<std::string>& title,
                                    const fs::path& proc) {
    const auto found = candidates(pid, proc);
    if (found.empty()) {
        return std::nullopt;
    }
    if (title) {
        const std::string wanted = PyText::lower(text::nfc(*title));
        for (const auto& path : found) {
            std::string name = PyText::lower(text::nfc(fs::path(path).filename().string()));
            const std::string stem = name.substr(0, name.size() - 4);
            if (!stem.empty() && wanted.find(stem) != std::string::npos) {
                return path;
            }
        }
    }
    return found.front();
}

}  // namespace parlendo::ProcessDocuments
