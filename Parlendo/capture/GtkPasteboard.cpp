#include "capture/GtkPasteboard.h"

#include "foundation/Text.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <memory>
#include <set>

namespace parlendo::GtkPasteboard {

namespace {

constexpr size_t maxSavedBytes = 64u << 20;

bool isProtocolTarget(const std::string& name) {
    static const std::set<std::string> names = {
        "TARGETS", "MULTIPLE",        "TIMESTAMP",        "SAVE_TARGETS",
        "DELETE",  "INSERT_PROPERTY", "INSERT_SELECTION", "_GTK_TEXT_BUFFER_CONTENTS"};
    return names.contains(name) || name.starts_with("_GTK_TEXT_BUFFER");
}

GtkClipboard* clipboard() {
    return gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
}

// Whether some client owns CLIPBOARD now. GTK gives an owner that refuses to list its targets
// the same empty list as no owner at all; where the owner cannot be asked, one is assumed.
bool clipboardHasOwner() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) {
        return true;
    }
    return XGetSelectionOwner(gdk_x11_display_get_xdisplay(display),
                              gdk_x11_get_xatom_by_name_for_display(display, "CLIPBOARD")) != None;
}

// One save in progress: the targets still to read, one after the other.
struct Saving {
    std::vector<std::string> targets;
    size_t next = 0;
    size_t bytes = 0;
    SavedClipboard saved;
    Completion<void(SavedClipboard)> done;

    static void finish(std::unique_ptr<Saving> saving) {
        if (saving->saved.complete() && saving->saved.items.empty() && !saving->targets.empty()) {
            saving->saved.shortfall =
                "nothing_readable targets=" + std::to_string(saving->targets.size());
        }
        saving->done(std::move(saving->saved));
    }

    static void readNext(std::unique_ptr<Saving> saving) {
        if (saving->next >= saving->targets.size() || !saving->saved.complete()) {
            finish(std::move(saving));
            return;
        }
        const std::string target = saving->targets[saving->next++];
        auto* raw = saving.release();
        gtk_clipboard_request_contents(
            clipboard(), gdk_atom_intern(target.c_str(), FALSE),
            [](GtkClipboard*, GtkSelectionData* data, gpointer user) {
                std::unique_ptr<Saving> self(static_cast<Saving*>(user));
                const std::string& name = self->targets[self->next - 1];
                const gint length = data != nullptr ? gtk_selection_data_get_length(data) : -1;
                if (length >= 0 && self->bytes + static_cast<size_t>(length) > maxSavedBytes) {
                    self->saved.shortfall = "over_cap target=" + name +
                                            " bytes=" + std::to_string(self->bytes + length);
                } else if (length >= 0) {
                    gchar* type = gdk_atom_name(gtk_selection_data_get_data_type(data));
                    const auto* bytes = gtk_selection_data_get_data(data);
                    self->saved.items.push_back(SavedClipboard::Item{
                        name, type != nullptr ? type : name, gtk_selection_data_get_format(data),
                        std::string(reinterpret_cast<const char*>(bytes),
                                    static_cast<size_t>(length))});
                    self->bytes += static_cast<size_t>(length);
                    g_free(type);
                }
                readNext(std::move(self));
            },
            raw);
    }
};

// What this process offers after a restore; freed when it loses the clipboard.
struct Offer {
    SavedClipboard saved;
};

void provide(GtkClipboard*, GtkSelectionData* data, guint index, gpointer user) {
    const auto* offer = static_cast<const Offer*>(user);
    if (index >= offer->saved.items.size()) {
        return;
    }
    const auto& item = offer->saved.items[index];
    gtk_selection_data_set(data, gdk_atom_intern(item.type.c_str(), FALSE), item.format,
                           reinterpret_cast<const guchar*>(item.data.data()),
                           static_cast<gint>(item.data.size()));
}

void release(GtkClipboard*, gpointer user) {
    delete static_cast<Offer*>(user);
}

}  // namespace

void save(Completion<void(SavedClipboard)> done) {
    auto saving = std::make_unique<Saving>();
    saving->done = std::move(done);
    gtk_clipboard_request_targets(
        clipboard(),
        [](GtkClipboard*, GdkAtom* atoms, gint count, gpointer user) {
            std::unique_ptr<Saving> self(static_cast<Saving*>(user));
            if ((count <= 0 || atoms == nullptr) && clipboardHasOwner()) {
                // An owner that holds something but will not say what: nothing to put back.
                self->saved.shortfall = "targets_refused";
            }
            for (gint i = 0; i < count && atoms != nullptr; ++i) {
                gchar* name = gdk_atom_name(atoms[i]);
                if (name != nullptr && !isProtocolTarget(name)) {
                    self->targets.emplace_back(name);
                }
                g_free(name);
            }
            Saving::readNext(std::move(self));
        },
        saving.release());
}

void restore(SavedClipboard saved, Completion<void(bool)> done) {
    if (!saved.complete()) {
        // Part of what was there cannot be offered again: the clipboard stays as it is rather
        // than lose the rest.
        done(false);
        return;
    }
    GdkDisplay* display = gdk_display_get_default();
    bool ok = false;
    if (saved.items.empty()) {
        // Nothing was there before: the clipboard goes back to having no owner (GTK cannot
        // offer an empty list of targets, and the copy's owner is another application).
        ok = gtk_selection_owner_set_for_display(display, nullptr, GDK_SELECTION_CLIPBOARD,
                                                 GDK_CURRENT_TIME) != FALSE;
    } else {
        std::vector<GtkTargetEntry> entries;
        auto* offer = new Offer{std::move(saved)};
        for (size_t i = 0; i < offer->saved.items.size(); ++i) {
            entries.push_back(
                GtkTargetEntry{const_cast<gchar*>(offer->saved.items[i].target.c_str()), 0,
                               static_cast<guint>(i)});
        }
        ok = gtk_clipboard_set_with_data(clipboard(), entries.data(),
                                         static_cast<guint>(entries.size()), provide, release,
                                         offer) != FALSE;
        if (!ok) {
            delete offer;
        }
    }
    gdk_display_sync(display);
    done(ok);
}

namespace {

void requestText(GtkClipboard* from, Completion<void(std::optional<std::string>)> done) {
    auto* pending = new Completion<void(std::optional<std::string>)>(std::move(done));
    gtk_clipboard_request_text(
        from,
        [](GtkClipboard*, const gchar* value, gpointer user) {
            std::unique_ptr<Completion<void(std::optional<std::string>)>> reply(
                static_cast<Completion<void(std::optional<std::string>)>*>(user));
            if (value == nullptr) {
                (*reply)(std::nullopt);
            } else {
                (*reply)(text::sanitize(value));
            }
        },
        pending);
}

}  // namespace

void text(Completion<void(std::optional<std::string>)> done) {
    requestText(clipboard(), std::move(done));
}

void primaryText(Completion<void(std::optional<std::string>)> done) {
    requestText(gtk_clipboard_get(GDK_SELECTION_PRIMARY), std::move(done));
}

}  // namespace parlendo::GtkPasteboard
