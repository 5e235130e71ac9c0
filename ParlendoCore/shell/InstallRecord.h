#pragma once

#include "foundation/Executor.h"
#include "shell/BuildStamp.h"

#include <filesystem>
#include <optional>

namespace parlendo {

// The record of the last build that ran here: "install_record.json" in the given folder, an
// object with the string members "build" and "version". Also the check for an installation
// replaced on disk while the program runs. Any thread, one at a time.
class InstallRecord {
  public:
    static constexpr const char* fileName = "install_record.json";

    // Does not touch the disk.
    explicit InstallRecord(const std::filesystem::path& directory);

    const std::filesystem::path& file() const { return file_; }

    // The recorded stamp; nothing when the file is missing, unreadable or malformed (a file
    // that is there but malformed is logged).
    std::optional<BuildStamp> last() const;
    // How `running` relates to the record; the record is rewritten unless the change is `same`,
    // on `writer` when one is given, else at once (a write failure is logged and changes nothing
    // of the answer).
    InstallChange observe(const BuildStamp& running, const ExecutorPtr& writer = nullptr) const;

    // The stamp in the build-info file on disk when it differs from `running`; nothing when it is
    // the same or cannot be read.
    static std::optional<BuildStamp> replacedOnDisk(const BuildStamp& running,
                                                    const std::filesystem::path& infoFile);
    // The stamp a build-info file names; nothing when it is missing, unreadable or malformed.
    static std::optional<BuildStamp> readInfo(const std::filesystem::path& infoFile);

  private:
    static void write(const std::filesystem::path& file, const BuildStamp& running);

    std::filesystem::path file_;
};

}  // namespace parlendo
