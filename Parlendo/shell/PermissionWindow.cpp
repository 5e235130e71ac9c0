#include "shell/PermissionWindow.h"

#include "foundation/GlibErrors.h"
#include "foundation/GtkAlert.h"
#include "foundation/GtkWordWrap.h"
#include "foundation/Log.h"
#include "foundation/PlatformWords.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <utility>

namespace parlendo {

const char* PermissionWindow::explanation() {
    return "PARLENDO는 선택한 글과 지금 읽고 있는 창의 제목 · 주소를 읽어서, 뜻을 맥락에 맞게 "
           "정렬해요. 그러려면 데스크톱의 보조 기술(접근성) 지원이 켜져 있어야 해요.\n\n"
           "1. 아래 버튼으로 보조 기술 지원을 켜고 접근성 설정을 열어요.\n"
           "2. 설정에서 보조 기술(화면 읽기 등) 지원이 켜져 있는지 확인해요.\n"
           "3. 허용되면 이 창은 자동으로 닫혀요.";
}

const std::vector<std::string>& PermissionWindow::settingsApps() {
    static const std::vector<std::string> ids = {
        "gnome-universal-access-panel.desktop",
        "org.gnome.Settings.desktop",
        "gnome-control-center.desktop",
        "kcm_access.desktop",
        "xfce4-accessibility-settings.desktop",
        "mate-at-properties.desktop",
        "cinnamon-settings-universal-access.desktop",
    };
    return ids;
}

bool PermissionWindow::launchFirst(const std::vector<std::string>& ids) {
    for (const auto& id : ids) {
        GDesktopAppInfo* info = g_desktop_app_info_new(id.c_str());
        if (info == nullptr) {
            continue;
        }
        GError* error = nullptr;
        const bool launched = g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error);
        if (error != nullptr) {
            Log::write("permission",
                       "설정 열기 실패 app=" + id + " " + GlibErrors::describe(error));
            g_error_free(error);
        }
        g_object_unref(info);
        if (launched) {
            Log::write("permission", "접근성 설정 열림 app=" + id);
            return true;
        }
    }
    return false;
}

void PermissionWindow::enableToolkitAccessibility() {
    g_bus_get(
        G_BUS_TYPE_SESSION, nullptr,
        +[](GObject*, GAsyncResult* result, gpointer) {
            GDBusConnection* bus = g_bus_get_finish(result, nullptr);
            if (bus == nullptr) {
                Log::write("permission", "🔴 세션 버스에 연결하지 못함 — 보조 기술을 켜지 못함");
                return;
            }
            g_dbus_connection_call(
                bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)),
                nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr,
                +[](GObject* source, GAsyncResult* done, gpointer) {
                    GError* error = nullptr;
                    GVariant* reply =
                        g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), done, &error);
                    if (reply != nullptr) {
                        g_variant_unref(reply);
                        Log::write("permission", "보조 기술 지원을 켬");
                    } else {
                        Log::write("permission",
                                   "🔴 보조 기술 지원을 켜지 못함 " + GlibErrors::describe(error));
                        g_error_free(error);
                    }
                },
                nullptr);
            g_object_unref(bus);
        },
        nullptr);
}

std::shared_ptr<PermissionWindow> PermissionWindow::make(Desktop desktop,
                                                         std::function<void()> onGranted) {
    return std::shared_ptr<PermissionWindow>(
        new PermissionWindow(std::move(desktop), std::move(onGranted)));
}

PermissionWindow::PermissionWindow(Desktop desktop, std::function<void()> onGranted)
    : desktop_(std::move(desktop)), onGranted_(std::move(onGranted)) {}

PermissionWindow::~PermissionWindow() {
    if (window_ != nullptr) {
        gtk_widget_destroy(window_);
    }
}

void PermissionWindow::build() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), title);
    gtk_window_set_default_size(GTK_WINDOW(window_), width, height);
    gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
    gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
    // Closing only hides: the checks go on and a later grant is still reported.
    std::weak_ptr<PermissionWindow> weak = weak_from_this();
    g_signal_connect_data(
        window_, "delete-event",
        G_CALLBACK(+[](GtkWidget* widget, GdkEvent*, gpointer data) -> gboolean {
            gtk_widget_hide(widget);
            if (auto self = static_cast<std::weak_ptr<PermissionWindow>*>(data)->lock()) {
                self->gone();
            }
            return TRUE;
        }),
        new std::weak_ptr<PermissionWindow>(weak),
        +[](gpointer data, GClosure*) {
            delete static_cast<std::weak_ptr<PermissionWindow>*>(data);
        },
        GConnectFlags(0));

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_widget_set_margin_top(box, 20);
    gtk_widget_set_margin_start(box, 24);
    gtk_widget_set_margin_bottom(box, 20);
    gtk_widget_set_margin_end(box, 24);
    gtk_widget_set_halign(box, GTK_ALIGN_FILL);
    gtk_widget_set_valign(box, GTK_ALIGN_START);

    GtkWidget* headingLabel = gtk_label_new(nullptr);
    gchar* markup =
        g_markup_printf_escaped("<span weight='bold' size='%d'>%s</span>", 16 * PANGO_SCALE,
                                PlatformWords::render(heading).c_str());
    gtk_label_set_markup(GTK_LABEL(headingLabel), markup);
    g_free(markup);
    gtk_label_set_xalign(GTK_LABEL(headingLabel), 0);

    GtkWidget* body = gtk_label_new(explanation());
    GtkWordWrap::wrap(body);
    gtk_label_set_max_width_chars(GTK_LABEL(body), 52);
    gtk_widget_set_size_request(body, width - 48, -1);
    gtk_label_set_xalign(GTK_LABEL(body), 0);

    button_ = gtk_button_new_with_label(buttonTitle);
    gtk_widget_set_halign(button_, GTK_ALIGN_START);
    gtk_widget_set_can_default(button_, TRUE);
    g_signal_connect_data(
        button_, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
            if (auto self = static_cast<std::weak_ptr<PermissionWindow>*>(data)->lock()) {
                self->openSettings();
            }
        }),
        new std::weak_ptr<PermissionWindow>(weak),
        +[](gpointer data, GClosure*) {
            delete static_cast<std::weak_ptr<PermissionWindow>*>(data);
        },
        GConnectFlags(0));

    gtk_box_pack_start(GTK_BOX(box), headingLabel, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), body, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), button_, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window_), box);
    gtk_window_set_default(GTK_WINDOW(window_), button_);
}

void PermissionWindow::show(std::function<void()> answered) {
    if (window_ == nullptr) {
        build();
    }
    if (answered) {
        answered_.push_back(std::move(answered));
    }
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
    // The window itself is mapped by the presenter, with the action's time.
    gtk_widget_show_all(gtk_bin_get_child(GTK_BIN(window_)));
    GtkAlert::present(GTK_WINDOW(window_));
    // Never two timers: a new generation retires the old one.
    polling_ = true;
    schedule(++generation_);
}

void PermissionWindow::schedule(std::uint64_t generation) {
    std::weak_ptr<PermissionWindow> weak = weak_from_this();
    desktop_.main->postAfter(pollPeriod, [weak, generation] {
        if (auto self = weak.lock()) {
            self->check(generation);
        }
    });
}

void PermissionWindow::check(std::uint64_t generation) {
    if (generation != generation_ || !polling_) {
        return;
    }
    if (!(desktop_.trusted && desktop_.trusted())) {
        if (desktop_.refresh) {
            desktop_.refresh();
        }
        schedule(generation);
        return;
    }
    polling_ = false;
    if (window_ != nullptr) {
        gtk_widget_hide(window_);
    }
    Log::write("permission", "손쉬운 사용 허용됨");
    if (onGranted_) {
        onGranted_();
    }
    gone();
}

void PermissionWindow::gone() {
    for (auto& answered : std::exchange(answered_, {})) {
        answered();
    }
}

void PermissionWindow::openSettings() {
    if (desktop_.enableAccessibility) {
        desktop_.enableAccessibility();
    }
    if (desktop_.openSettings && !desktop_.openSettings()) {
        Log::write("permission", "접근성 설정을 열 수 있는 프로그램이 없음 — 보조 기술 지원만 켬");
    }
}

}  // namespace parlendo
