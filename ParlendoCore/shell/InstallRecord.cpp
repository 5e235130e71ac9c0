#include "shell/InstallRecord.h"

#include "foundation/FileIO.h"
#include "foundation/Json.h"
#include "foundation/Log.h"

#include <system_error>

namespace parlendo {

InstallRecord::InstallRecord(const std::filesystem::path& directory)
    : file_(directory / fileName) {}

std::optional<BuildStamp> InstallRecord::last() const {
    std::error_code ec;
    if (!std::filesystem::exists(file_, ec)) {
        return std::nullopt;
    }
    const auto text = fileio::readFile(file_);
    const auto value = text ? json::parse(*text) : std::nullopt;
    auto version = value ? json::string(*value, "version") : std::nullopt;
    auto build = value ? json::string(*value, "build") : std::nullopt;
    if (!version || !build) {
        Log::write("install", "기록을 읽지 못함 — 없는 것으로 보고 새로 쓴다 file=" +
                                  file_.filename().string());
        return std::nullopt;
    }
    return BuildStamp{std::move(*version), std::move(*build)};
}

InstallChange InstallRecord::observe(const BuildStamp& running, const ExecutorPtr& writer) const {
    const auto recorded = last();
    if (recorded && *recorded == running) {
        return InstallChange::same();
    }
    const InstallChange change = !recorded             ? InstallChange::firstRun()
                                 : running < *recorded ? InstallChange::downgraded(*recorded)
                                                       : InstallChange::upgraded(*recorded);
    if (writer) {
        writer->post([file = file_, running] { write(file, running); });
    } else {
        write(file_, running);
    }
    return change;
}

void InstallRecord::write(const std::filesystem::path& file, const BuildStamp& running) {
    const Json record{{"build", running.build}, {"version", running.version}};
    const auto text = json::dump(record);
    const std::error_code ec = text ? fileio::writeAtomically(file, *text)
                                    : std::make_error_code(std::errc::invalid_argument);
    if (ec) {
        Log::write("install", "기록 실패 " + Log::describe(ec));
    }
}

std::optional<BuildStamp> InstallRecord::readInfo(const std::filesystem::path& infoFile) {
    const auto text = fileio::readFile(infoFile);
    const auto value = text ? json::parse(*text) : std::nullopt;
    auto version = value ? json::string(*value, "CFBundleShortVersionString") : std::nullopt;
    auto build = value ? json::string(*value, "CFBundleVersion") : std::nullopt;
    if (!version || !build) {
        return std::nullopt;
    }
    return BuildStamp{std::move(*version), std::move(*build)};
}

std::optional<BuildStamp> InstallRecord::replacedOnDisk(const BuildStamp& running,
                                                        const std::filesystem::path& infoFile) {
    auto onDisk = readInfo(infoFile);
    if (!onDisk || *onDisk == running) {
        return std::nullopt;
    }
    return onDisk;
}

}  // namespace parlendo
