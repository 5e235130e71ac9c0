#pragma once

#include "foundation/Executor.h"
#include "shell/StatusMenuModel.h"

#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <memory>

typedef struct _AppIndicator AppIndicator;
typedef struct _DbusmenuMenuitem DbusmenuMenuitem;

namespace parlendo {

// The status icon and its menu on the desktop's status area (Ayatana AppIndicator, which the
// desktop shows through its StatusNotifier host, or as a tray icon where there is only a system
// tray). It draws the status menu's model: groups with separators, the modules' items, the icon
// that says whether detection is fully on. The model hears when the menu opens: from the host,
// which asks the exported menu (dbusmenu) whether it must be updated ("AboutToShow") or says it
// was opened (the "opened" event) before it shows it, and from the menu's own mapping where the
// tray draws the menu itself. Besides, the menu is refreshed on every state change and every few
// seconds. Main thread.
class StatusMenu : public std::enable_shared_from_this<StatusMenu> {
  public:
    static constexpr double refreshPeriod = 3.0;
    // The signals a host sends for one opening of the menu come within this many seconds.
    static constexpr double openingWindow = 1.0;
    static constexpr const char* watcherName = "org.kde.StatusNotifierWatcher";

    // `icons` holds parlendo-on.svg and parlendo-off.svg.
    static std::shared_ptr<StatusMenu> make(StatusMenuModel& model, std::filesystem::path icons,
                                            ExecutorPtr main);
    ~StatusMenu();

    // Called once the icon is registered with a StatusNotifier host.
    std::function<void()> onRegistered;

    GtkWidget* menu() const { return menu_; }
    AppIndicator* indicator() const { return indicator_; }
    bool registered() const { return registered_; }

  private:
    StatusMenu(StatusMenuModel& model, std::filesystem::path icons, ExecutorPtr main);
    void start();
    void rebuild(const StatusMenuModel::Groups& groups);
    void update();
    void showIcon(const StatusMenuModel::Icon& icon);
    void scheduleRefresh();
    static void connectionChanged(AppIndicator*, gboolean connected, gpointer data);
    void watchOpening();
    // Hears the time a panel stamps a click on a line with.
    static void watchClicks();
    // The menu is about to open or opened: the model hears it once per opening, however many
    // of the host's signals announce it (until the menu closes, or `openingWindow` at most).
    void opening();
    void closed();

    StatusMenuModel& model_;
    std::filesystem::path icons_;
    ExecutorPtr main_;
    AppIndicator* indicator_ = nullptr;
    GtkWidget* menu_ = nullptr;
    DbusmenuMenuitem* exportedRoot_ = nullptr;
    bool opening_ = false;
    unsigned openings_ = 0;
    guint watch_ = 0;
    bool registered_ = false;
    bool reportedNoHost_ = false;
    std::shared_ptr<std::weak_ptr<StatusMenu>> self_;
};

}  // namespace parlendo
