#include "popups/GtkMeaningView.h"
#include "foundation/GtkWordWrap.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace parlendo::GtkMeaningView {
namespace {

constexpr int spacing = 6;

guint16 channel(double value) {
    return static_cast<guint16>(std::lround(std::clamp(value, 0.0, 1.0) * 65535.0));
}

// One styled run as Pango attributes over its bytes of the label's text.
void addRun(PangoAttrList* attrs, const MeaningView::Run& run, guint start, const GdkRGBA& text) {
    const MeaningView::Look look = MeaningView::look(run.style);
    const GdkRGBA colour = tone(look.tone, text);
    const guint end = start + static_cast<guint>(run.text.size());
    auto add = [&](PangoAttribute* attr) {
        attr->start_index = start;
        attr->end_index = end;
        pango_attr_list_insert(attrs, attr);
    };
    add(pango_attr_size_new_absolute(static_cast<int>(look.size * PANGO_SCALE)));
    add(pango_attr_weight_new(look.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL));
    add(pango_attr_foreground_new(channel(colour.red), channel(colour.green),
                                  channel(colour.blue)));
    add(pango_attr_foreground_alpha_new(channel(colour.alpha)));
}

GtkWidget* label(const MeaningView::Label& spec, double width, const GdkRGBA& text) {
    std::string whole;
    PangoAttrList* attrs = pango_attr_list_new();
    for (const auto& run : spec.runs) {
        addRun(attrs, run, static_cast<guint>(whole.size()), text);
        whole += run.text;
    }
    GtkWidget* widget = gtk_label_new(whole.c_str());
    GtkLabel* l = GTK_LABEL(widget);
    gtk_label_set_attributes(l, attrs);
    pango_attr_list_unref(attrs);
    gtk_label_set_selectable(l, FALSE);
    gtk_label_set_xalign(l, 0);
    gtk_label_set_yalign(l, 0);
    if (spec.wraps) {
        GtkWordWrap::wrap(widget);
        gtk_widget_set_size_request(widget, static_cast<int>(width), -1);
    } else {
        // One line, cut at its end rather than widening the card.
        gtk_label_set_single_line_mode(l, TRUE);
        gtk_label_set_ellipsize(l, PANGO_ELLIPSIZE_END);
    }
    gtk_widget_set_halign(widget, GTK_ALIGN_FILL);
    return widget;
}

}  // namespace

GdkRGBA tone(MeaningView::Tone tone, const GdkRGBA& text) {
    GdkRGBA out = text;
    switch (tone) {
        case MeaningView::Tone::primary:
            out.alpha = text.alpha * 0.85;
            break;
        case MeaningView::Tone::secondary:
            out.alpha = text.alpha * 0.55;
            break;
        case MeaningView::Tone::tertiary:
            out.alpha = text.alpha * 0.35;
            break;
    }
    return out;
}

GtkWidget* render(const std::vector<MeaningView::Label>& labels, double width,
                  const GdkRGBA& text) {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, spacing);
    gtk_widget_set_size_request(box, static_cast<int>(width), -1);
    for (const auto& spec : labels) {
        gtk_box_pack_start(GTK_BOX(box), label(spec, width, text), FALSE, FALSE, 0);
    }
    gtk_widget_show_all(box);
    return box;
}

}  // namespace parlendo::GtkMeaningView
