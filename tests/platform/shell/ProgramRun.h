#pragma once

#include <gio/gio.h>
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace parlendo::testing {

// The program started as its own process on the test's display and bus, with its folders
// (configuration, data, state, cache, log) in a temporary folder of the test.
class ProgramRun {
  public:
    explicit ProgramRun(std::filesystem::path folder);
    ~ProgramRun();

    // Starts the program with `arguments`; `extra` adds or replaces environment variables.
    pid_t start(const std::vector<std::string>& arguments = {},
                const std::map<std::string, std::string>& extra = {});
    // Waits (turning the test's main loop) until the process `pid` ends; its exit status, or
    // nothing after `seconds`.
    static std::optional<int> wait(pid_t pid, double seconds);

    std::string log() const;
    // Waits until the log holds `part`.
    bool waitForLog(const std::string& part, double seconds = 10.0) const;

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path dataRoot() const { return folder_ / "data" / "PARLENDO"; }

  private:
    std::filesystem::path folder_;
    std::vector<pid_t> started_;
};

// A StatusNotifier watcher on the session bus, as a desktop's status area offers it: it records
// the items that register.
class FakeStatusWatcher {
  public:
    FakeStatusWatcher();
    ~FakeStatusWatcher();
    bool owned() const { return owned_; }
    const std::vector<std::string>& items() const { return items_; }

  private:
    static void call(GDBusConnection*, const gchar* sender, const gchar*, const gchar*,
                     const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                     gpointer data);
    static GVariant* property(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                              const gchar* name, GError**, gpointer data);

    GDBusConnection* bus_ = nullptr;
    GDBusNodeInfo* node_ = nullptr;
    guint object_ = 0;
    guint name_ = 0;
    bool owned_ = false;
    std::vector<std::string> items_;
};

}  // namespace parlendo::testing
