#include "shell/StatusMenu.h"

#include "foundation/Log.h"
#include "foundation/PlatformWords.h"
#include "shell/ActionMenuItem.h"

#include <libayatana-appindicator/app-indicator.h>
#include <libdbusmenu-glib/menuitem.h>
#include <libdbusmenu-glib/server.h>

namespace parlendo {

namespace {
using Weak = std::weak_ptr<StatusMenu>;
constexpr const char* indicatorID = "local.parlendo.mac";

// A line of the menu clicked in the panel, heard before the item runs, with the time the panel
// stamped the click with.
gboolean panelClicked(GSignalInvocationHint*, guint count, const GValue* values, gpointer) {
    if (count >= 4 &&
        g_strcmp0(g_value_get_string(&values[1]), DBUSMENU_MENUITEM_EVENT_ACTIVATED) == 0) {
        ActionMenuItem::heardPanelClick(g_value_get_uint(&values[3]));
    }
    return TRUE;
}

}  // namespace

std::shared_ptr<StatusMenu> StatusMenu::make(StatusMenuModel& model, std::filesystem::path icons,
                                             ExecutorPtr main) {
    auto menu =
        std::shared_ptr<StatusMenu>(new StatusMenu(model, std::move(icons), std::move(main)));
    menu->self_ = std::make_shared<Weak>(menu);
    menu->start();
    return menu;
}

StatusMenu::StatusMenu(StatusMenuModel& model, std::filesystem::path icons, ExecutorPtr main)
    : model_(model), icons_(std::move(icons)), main_(std::move(main)) {}

StatusMenu::~StatusMenu() {
    if (watch_ != 0) {
        g_bus_unwatch_name(watch_);
    }
    if (exportedRoot_ != nullptr) {
        g_signal_handlers_disconnect_by_data(exportedRoot_, self_.get());
        g_object_unref(exportedRoot_);
    }
    if (indicator_ != nullptr) {
        g_signal_handlers_disconnect_by_data(indicator_, self_.get());
        g_object_unref(indicator_);
    }
    if (menu_ != nullptr) {
        g_signal_handlers_disconnect_by_data(menu_, self_.get());
        g_object_unref(menu_);
    }
}

void StatusMenu::start() {
    std::error_code ec;
    for (const char* name : {"parlendo-on.svg", "parlendo-off.svg"}) {
        if (!std::filesystem::is_regular_file(icons_ / name, ec)) {
            Log::write("menu", "🔴 상태 아이콘 파일이 없다 file=" + (icons_ / name).string());
        }
    }
    menu_ = gtk_menu_new();
    g_object_ref_sink(menu_);
    indicator_ = app_indicator_new_with_path(
        indicatorID, "parlendo-off", APP_INDICATOR_CATEGORY_APPLICATION_STATUS, icons_.c_str());
    app_indicator_set_title(indicator_, "PARLENDO");
    g_signal_connect(indicator_, APP_INDICATOR_SIGNAL_CONNECTION_CHANGED,
                     G_CALLBACK(&StatusMenu::connectionChanged), self_.get());
    app_indicator_set_menu(indicator_, GTK_MENU(menu_));
    app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_ACTIVE);
    watchOpening();
    watchClicks();

    // Whether a StatusNotifier host is there to show the icon at all.
    watch_ = g_bus_watch_name(
        G_BUS_TYPE_SESSION, watcherName, G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr,
        +[](GDBusConnection*, const gchar*, gpointer data) {
            auto self = static_cast<Weak*>(data)->lock();
            if (self && !self->registered_ && !self->reportedNoHost_) {
                self->reportedNoHost_ = true;
                Log::write("menu",
                           "🔴 상태 표시 영역(StatusNotifier) 호스트가 없음 — 아이콘 없이 "
                           "실행한다. 다시 실행하면 관리 창이 열리고, Ctrl+Q로 끌 수 있다");
            }
        },
        new Weak(*self_), [](gpointer data) { delete static_cast<Weak*>(data); });

    model_.setView(
        StatusMenuModel::View{[weak = Weak(*self_)](const StatusMenuModel::Groups& groups) {
                                  if (auto self = weak.lock()) {
                                      self->rebuild(groups);
                                  }
                              },
                              [weak = Weak(*self_)] {
                                  if (auto self = weak.lock()) {
                                      self->update();
                                  }
                              },
                              [weak = Weak(*self_)](const StatusMenuModel::Icon& icon) {
                                  if (auto self = weak.lock()) {
                                      self->showIcon(icon);
                                  }
                              }});
    scheduleRefresh();
}

void StatusMenu::watchClicks() {
    static const gulong hook = [] {
        const guint signal =
            g_signal_lookup(DBUSMENU_MENUITEM_SIGNAL_EVENT, DBUSMENU_TYPE_MENUITEM);
        return signal == 0 ? 0
                           : g_signal_add_emission_hook(signal, 0, panelClicked, nullptr, nullptr);
    }();
    if (hook == 0) {
        Log::write(
            "menu",
            "🔴 패널의 클릭 시각을 들을 수 없음 — 메뉴로 여는 창은 고른 때의 서버 시각으로 띄운다");
    }
}

void StatusMenu::watchOpening() {
    // A panel asks the exported menu's root before it shows the menu: "AboutToShow" (or its
    // group form), then the "opened" event; both arrive here on the main loop.
    DbusmenuServer* server = nullptr;
    g_object_get(indicator_, "dbus-menu-server", &server, nullptr);
    if (server != nullptr) {
        g_object_get(server, DBUSMENU_SERVER_PROP_ROOT_NODE, &exportedRoot_, nullptr);
        g_object_unref(server);
    }
    if (exportedRoot_ != nullptr) {
        g_signal_connect(exportedRoot_, DBUSMENU_MENUITEM_SIGNAL_ABOUT_TO_SHOW,
                         G_CALLBACK(+[](DbusmenuMenuitem*, gpointer data) -> gboolean {
                             if (auto self = static_cast<Weak*>(data)->lock()) {
                                 self->opening();
                             }
                             return FALSE;
                         }),
                         self_.get());
        g_signal_connect(exportedRoot_, DBUSMENU_MENUITEM_SIGNAL_EVENT,
                         G_CALLBACK(+[](DbusmenuMenuitem*, const gchar* name, GVariant*, guint,
                                        gpointer data) -> gboolean {
                             auto self = static_cast<Weak*>(data)->lock();
                             if (!self || name == nullptr) {
                                 return FALSE;
                             }
                             if (g_strcmp0(name, DBUSMENU_MENUITEM_EVENT_OPENED) == 0) {
                                 self->opening();
                             } else if (g_strcmp0(name, DBUSMENU_MENUITEM_EVENT_CLOSED) == 0) {
                                 self->closed();
                             }
                             return FALSE;
                         }),
                         self_.get());
    } else {
        Log::write("menu", "🔴 상태 메뉴를 내보내는 dbusmenu 서버가 없음 — 메뉴가 열릴 때를 모른다");
    }
    // Where only a system tray shows the icon, the menu is drawn here: mapped when it opens,
    // unmapped when it closes.
    g_signal_connect(menu_, "map", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                         if (auto self = static_cast<Weak*>(data)->lock()) {
                             self->opening();
                         }
                     }),
                     self_.get());
    g_signal_connect(menu_, "unmap", G_CALLBACK(+[](GtkWidget*, gpointer data) {
                         if (auto self = static_cast<Weak*>(data)->lock()) {
                             self->closed();
                         }
                     }),
                     self_.get());
}

void StatusMenu::opening() {
    if (opening_) {
        return;  // the same opening, heard once more (a host may both ask and tell)
    }
    opening_ = true;
    const unsigned generation = ++openings_;
    main_->postAfter(openingWindow, [weak = Weak(*self_), generation] {
        if (auto self = weak.lock(); self && self->openings_ == generation) {
            self->opening_ = false;
        }
    });
    model_.willOpen();
}

void StatusMenu::closed() {
    opening_ = false;
}

void StatusMenu::connectionChanged(AppIndicator*, gboolean connected, gpointer data) {
    auto self = static_cast<Weak*>(data)->lock();
    if (!self) {
        return;
    }
    const bool was = self->registered_;
    self->registered_ = connected != FALSE;
    if (self->registered_ && !was) {
        Log::write("menu", "상태 아이콘 등록됨");
        if (self->onRegistered) {
            self->onRegistered();
        }
    } else if (!self->registered_ && was) {
        Log::write("menu", "상태 아이콘 연결 끊김 — 호스트가 다시 나타나면 다시 등록한다");
    }
}

void StatusMenu::rebuild(const StatusMenuModel::Groups& groups) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(menu_));
    for (GList* child = children; child != nullptr; child = child->next) {
        gtk_widget_destroy(GTK_WIDGET(child->data));
    }
    g_list_free(children);
    bool any = false;
    for (const auto& group : groups) {
        if (any) {
            GtkWidget* separator = gtk_separator_menu_item_new();
            gtk_widget_show(separator);
            gtk_menu_shell_append(GTK_MENU_SHELL(menu_), separator);
        }
        for (const auto& item : group) {
            gtk_menu_shell_append(GTK_MENU_SHELL(menu_), ActionMenuItem::make(item));
            any = true;
        }
    }
}

void StatusMenu::update() {
    GList* children = gtk_container_get_children(GTK_CONTAINER(menu_));
    for (GList* child = children; child != nullptr; child = child->next) {
        if (auto* action = ActionMenuItem::of(GTK_WIDGET(child->data))) {
            action->sync();
        }
    }
    g_list_free(children);
}

void StatusMenu::showIcon(const StatusMenuModel::Icon& icon) {
    app_indicator_set_icon_full(indicator_, icon.name.c_str(),
                                PlatformWords::render(icon.description).c_str());
}

void StatusMenu::scheduleRefresh() {
    main_->postAfter(refreshPeriod, [weak = Weak(*self_)] {
        if (auto self = weak.lock()) {
            self->model_.refresh();
            self->scheduleRefresh();
        }
    });
}

}  // namespace parlendo
