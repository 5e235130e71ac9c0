#pragma once

#include "DesktopRig.h"

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace parlendo::testing {

// A small window in the top-left corner that offers files (text/uri-list) when dragged from, as a
// file manager does, or plain text (text/plain, the lines of `items`), as an editor does.
class DragSource {
  public:
    enum class Offer { files, text };

    explicit DragSource(std::vector<std::string> items, Offer offer = Offer::files)
        : uris_(std::move(items)), offer_(offer) {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_move(GTK_WINDOW(window_), 10, 10);
        GtkWidget* box = gtk_event_box_new();
        gtk_widget_set_size_request(box, 120, 120);
        gtk_container_add(GTK_CONTAINER(box), gtk_label_new("파일"));
        gtk_container_add(GTK_CONTAINER(window_), box);
        const GtkTargetEntry targets[] = {
            {const_cast<gchar*>(offer == Offer::files ? "text/uri-list"
                                                      : "text/plain;charset=utf-8"),
             0, 0}};
        gtk_drag_source_set(box, GDK_BUTTON1_MASK, targets, 1, GDK_ACTION_COPY);
        g_signal_connect(box, "drag-data-get", G_CALLBACK(give), this);
        gtk_widget_show_all(window_);
        pumpUntil([this] { return gtk_widget_get_mapped(window_); });
        pumpFor(0.2);
        box_ = box;
    }
    ~DragSource() { gtk_widget_destroy(window_); }

    GdkPoint centre() const { return onScreen(box_, 60, 60); }

  private:
    static void give(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint,
                     gpointer self) {
        const auto* source = static_cast<DragSource*>(self);
        const auto& uris = source->uris_;
        if (source->offer_ == Offer::text) {
            std::string text;
            for (const auto& line : uris) {
                text += line + "\n";
            }
            gtk_selection_data_set_text(data, text.c_str(), -1);
            return;
        }
        std::vector<gchar*> list;
        for (const auto& uri : uris) {
            list.push_back(const_cast<gchar*>(uri.c_str()));
        }
        list.push_back(nullptr);
        gtk_selection_data_set_uris(data, list.data());
    }

    std::vector<std::string> uris_;
    Offer offer_;
    GtkWidget* window_ = nullptr;
    GtkWidget* box_ = nullptr;
};

}  // namespace parlendo::testing
