#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace parlendo {

// Starting the program when the user logs in: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/parlendo.desktop. The item is on while that file is there, is a
// desktop entry, and does not say Hidden=true. Main thread.
class LoginItem {
  public:
    // The statuses of a login item: 0 not registered, 1 enabled, 2 requires approval, 3 not found.
    enum class Status { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    static constexpr const char* fileName = "parlendo.desktop";

    // `programPath` is what the entry starts; empty when it is not known.
    LoginItem(std::filesystem::path file, std::string programPath);

    // The entry of this user's session ($XDG_CONFIG_HOME/autostart/parlendo.desktop).
    static std::filesystem::path defaultFile();

    const std::filesystem::path& file() const { return file_; }

    // An entry that is not a desktop entry is logged (once) and counts as not registered.
    Status status() const;
    bool isEnabled() const { return status() == Status::enabled; }

    // Writes the entry, replacing whatever file was there; fails with nothing to start.
    std::error_code registerItem() const;
    // Removes the entry; a missing one counts as removed.
    std::error_code unregisterItem() const;

    // The entry's text for a program.
    static std::string entry(const std::string& programPath);
    // The program path as an Exec value: quoted, with ", `, $ and \ escaped and % doubled.
    static std::string execValue(const std::string& programPath);

    struct Reading {
        bool desktopEntry = false;  // has the [Desktop Entry] group
        bool hidden = false;        // Hidden=true in that group
    };
    static Reading read(std::string_view text);

  private:
    std::filesystem::path file_;
    std::string programPath_;
    mutable bool reportedBad_ = false;
};

}  // namespace parlendo
