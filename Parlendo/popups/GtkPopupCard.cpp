#include "popups/GtkPopupCard.h"

#include "foundation/FloatingWindow.h"
#include "popups/GdkPopupScreens.h"
#include "popups/GtkMeaningView.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace parlendo {
namespace {

constexpr int padding = 14;    // content inset from the left and top edges
constexpr int closeSide = 16;  // the close button's side
constexpr int closeInset = 8;  // from the top and right edges
constexpr int footerHeight = 14;
constexpr int footerInset = 14;  // from the right edge
constexpr int footerBottom = 6;  // from the bottom edge
constexpr double cornerRadius = 12;

// The theme's colours when it names none.
constexpr GdkRGBA fallbackText{0.18, 0.20, 0.21, 1.0};
constexpr GdkRGBA fallbackBackground{0.965, 0.961, 0.957, 1.0};

const char* const cardCss =
    "window.parlendo-card, window.parlendo-card scrolledwindow,"
    " window.parlendo-card viewport, window.parlendo-card label {"
    " background-color: transparent; background-image: none; border-style: none;"
    " box-shadow: none; }";

void installCss(GdkScreen* screen) {
    if (g_object_get_data(G_OBJECT(screen), "parlendo-card-css") != nullptr) {
        return;
    }
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, cardCss, -1, nullptr);
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_set_data_full(G_OBJECT(screen), "parlendo-card-css", css, g_object_unref);
}

void roundedPath(cairo_t* cr, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, w - r, r, r, -G_PI / 2, 0);
    cairo_arc(cr, w - r, h - r, r, 0, G_PI / 2);
    cairo_arc(cr, r, h - r, r, G_PI / 2, G_PI);
    cairo_arc(cr, r, r, r, G_PI, 3 * G_PI / 2);
    cairo_close_path(cr);
}

// The rounded box as whole pixels, row by row, for a window shape.
cairo_region_t* roundedRegion(int w, int h, double r) {
    cairo_region_t* region = cairo_region_create();
    for (int y = 0; y < h; ++y) {
        double dy = 0;
        if (y < r) {
            dy = r - (y + 0.5);
        } else if (y >= h - r) {
            dy = (y + 0.5) - (h - r);
        }
        int inset = 0;
        if (dy > 0) {
            inset = static_cast<int>(std::lround(r - std::sqrt(std::max(r * r - dy * dy, 0.0))));
        }
        cairo_rectangle_int_t row{inset, y, std::max(w - 2 * inset, 0), 1};
        cairo_region_union_rectangle(region, &row);
    }
    return region;
}

void setColour(cairo_t* cr, const GdkRGBA& c) {
    cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
}

PangoAttrList* footerAttributes(const GdkRGBA& colour) {
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_size_new_absolute(10 * PANGO_SCALE));
    pango_attr_list_insert(attrs, pango_attr_font_features_new("tnum"));
    const GdkRGBA c = GtkMeaningView::tone(MeaningView::Tone::tertiary, colour);
    pango_attr_list_insert(attrs, pango_attr_foreground_new(static_cast<guint16>(c.red * 65535),
                                                            static_cast<guint16>(c.green * 65535),
                                                            static_cast<guint16>(c.blue * 65535)));
    pango_attr_list_insert(attrs, pango_attr_foreground_alpha_new(
                                      static_cast<guint16>(std::clamp(c.alpha, 0.0, 1.0) * 65535)));
    return attrs;
}

// The close button's mark.
PangoAttrList* closeAttributes() {
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_size_new_absolute(14 * PANGO_SCALE));
    pango_attr_list_insert(attrs, pango_attr_weight_new(PANGO_WEIGHT_MEDIUM));
    return attrs;
}

// One line of text centred in `widget` from top to bottom and placed across it by `xAlign` (0 at
// the left, 1 at the right), in the attributes given (taken) and the colour set on `cr`.
void drawText(GtkWidget* widget, cairo_t* cr, const char* text, PangoAttrList* attrs,
              double xAlign) {
    PangoLayout* layout = gtk_widget_create_pango_layout(widget, text);
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
    int tw = 0;
    int th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    const double w = gtk_widget_get_allocated_width(widget);
    const double h = gtk_widget_get_allocated_height(widget);
    cairo_move_to(cr, (w - tw) * xAlign, std::round((h - th) * 0.5));
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

}  // namespace

GtkPopupCard::GtkPopupCard(const PopupCardLook& look, Handlers handlers)
    : look_(look), handlers_(std::move(handlers)), frame_{0, 0, look.cardWidth, 80} {
    build();
}

GtkPopupCard::~GtkPopupCard() {
    close();
}

std::vector<GtkWidget*> GtkPopupCard::fontSamples(const char* text) {
    std::vector<GtkWidget*> samples;
    using Style = MeaningView::Style;
    for (const Style style : {Style::title, Style::note, Style::bodyText, Style::senseLine,
                              Style::sectionCaption, Style::sectionText, Style::settingLine}) {
        samples.push_back(GtkMeaningView::render({MeaningView::Label{{{style, text}}}},
                                                 PopupCardLook{}.contentWidth, fallbackText));
    }
    for (PangoAttrList* attrs : {closeAttributes(), footerAttributes(fallbackText)}) {
        GtkWidget* label = gtk_label_new(text);
        gtk_label_set_attributes(GTK_LABEL(label), attrs);
        pango_attr_list_unref(attrs);
        samples.push_back(label);
    }
    return samples;
}

PopupCardWindowFactory GtkPopupCard::factory() {
    return [](const PopupCardLook& look, Handlers handlers) -> std::unique_ptr<PopupCardWindow> {
        return std::make_unique<GtkPopupCard>(look, std::move(handlers));
    };
}

void GtkPopupCard::build() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(window_);
    GdkScreen* screen = gtk_widget_get_screen(window_);
    installCss(screen);
    gtk_widget_set_name(window_, "parlendo-card");
    gtk_style_context_add_class(gtk_widget_get_style_context(window_), "parlendo-card");
    gtk_window_set_title(window, "PARLENDO");
    makeFloating(window, GDK_WINDOW_TYPE_HINT_NOTIFICATION);
    gtk_window_set_resizable(window, FALSE);
    gtk_widget_set_app_paintable(window_, TRUE);
    composited_ = gdk_screen_is_composited(screen) && gdk_screen_get_rgba_visual(screen);
    if (composited_) {
        gtk_widget_set_visual(window_, gdk_screen_get_rgba_visual(screen));
    }
    // The whole window, text included, at the card's opacity (a compositor applies it).
    g_signal_connect(window_, "realize", G_CALLBACK(onRealize), this);

    GtkStyleContext* style = gtk_widget_get_style_context(window_);
    if (!gtk_style_context_lookup_color(style, "theme_fg_color", &text_)) {
        text_ = fallbackText;
    }
    if (!gtk_style_context_lookup_color(style, "theme_bg_color", &background_)) {
        background_ = fallbackBackground;
    }
    background_.alpha = 1.0;

    // One surface over the whole card takes every pointer event: a press anywhere but on the
    // close button starts a drag, and wheel turns are handed to the scroll area.
    GtkWidget* surface = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(surface), FALSE);
    gtk_event_box_set_above_child(GTK_EVENT_BOX(surface), TRUE);
    gtk_widget_add_events(surface, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                       GDK_POINTER_MOTION_MASK | GDK_SCROLL_MASK |
                                       GDK_SMOOTH_SCROLL_MASK);
    g_signal_connect(surface, "button-press-event", G_CALLBACK(onPress), this);
    g_signal_connect(surface, "motion-notify-event", G_CALLBACK(onMotion), this);
    g_signal_connect(surface, "button-release-event", G_CALLBACK(onRelease), this);
    g_signal_connect(surface, "scroll-event", G_CALLBACK(onScroll), this);
    gtk_container_add(GTK_CONTAINER(window_), surface);

    fixed_ = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(surface), fixed_);

    scroll_ = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll_), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(scroll_), TRUE);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroll_), GTK_SHADOW_NONE);
    viewport_ = gtk_viewport_new(nullptr, nullptr);
    gtk_viewport_set_shadow_type(GTK_VIEWPORT(viewport_), GTK_SHADOW_NONE);
    gtk_container_add(GTK_CONTAINER(scroll_), viewport_);
    gtk_widget_set_size_request(scroll_, static_cast<int>(look_.contentWidth), 20);
    gtk_fixed_put(GTK_FIXED(fixed_), scroll_, padding, padding);

    // The countdown changes ten times a second. Drawn by the card rather than shown in a label,
    // a change only redraws that band: a label would ask the window for a new size each time,
    // and the toolkit answers that for a window of fixed size with four round trips to the X
    // server, which keep the main thread waiting whenever another client keeps the server busy.
    footer_ = gtk_drawing_area_new();
    g_signal_connect(footer_, "draw", G_CALLBACK(onFooterDraw), this);
    atk_object_set_role(gtk_widget_get_accessible(footer_), ATK_ROLE_LABEL);
    gtk_widget_set_size_request(footer_, static_cast<int>(look_.cardWidth) - 2 * footerInset,
                                footerHeight);
    gtk_fixed_put(GTK_FIXED(fixed_), footer_, footerInset, 80 - footerBottom - footerHeight);

    closeButton_ = gtk_drawing_area_new();
    gtk_widget_set_size_request(closeButton_, closeSide, closeSide);
    g_signal_connect(closeButton_, "draw", G_CALLBACK(onCloseDraw), this);
    gtk_fixed_put(GTK_FIXED(fixed_), closeButton_,
                  static_cast<int>(look_.cardWidth) - closeInset - closeSide, closeInset);

    g_signal_connect(window_, "draw", G_CALLBACK(onDraw), this);
    // A window manager's close request counts as the close button; a window destroyed by
    // anyone else leaves a card without a window rather than a dangling one.
    g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
    g_signal_connect(window_, "destroy", G_CALLBACK(onDestroy), this);
    g_signal_connect(window_, "configure-event", G_CALLBACK(onConfigure), this);
    gtk_widget_set_size_request(fixed_, static_cast<int>(look_.cardWidth), 80);
    applyShape(static_cast<int>(look_.cardWidth), 80);
    gtk_widget_show_all(surface);
}

double GtkPopupCard::setContent(const std::vector<MeaningView::Label>& labels) {
    if (window_ == nullptr) {
        return 0;
    }
    if (content_ != nullptr) {
        gtk_widget_destroy(content_);
    }
    content_ = GtkMeaningView::render(labels, look_.contentWidth, text_);
    gtk_container_add(GTK_CONTAINER(viewport_), content_);
    gtk_adjustment_set_value(gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scroll_)), 0);
    layOutNow();
    int minimum = 0;
    int natural = 0;
    gtk_widget_get_preferred_height_for_width(content_, static_cast<int>(look_.contentWidth),
                                              &minimum, &natural);
    return std::ceil(static_cast<double>(std::max(minimum, natural)));
}

void GtkPopupCard::layOutNow() {
    // New labels take their style only in the update and layout steps of the window's next
    // frame, which throws away their text measured before and measures it again, in that frame.
    // Taking those steps now makes the measure that follows the only one and leaves the frame
    // only the drawing. A window not yet shown has no clock: its first frame does it all anyway.
    if (GdkFrameClock* clock = gtk_widget_get_frame_clock(window_)) {
        g_signal_emit_by_name(clock, "update");
        g_signal_emit_by_name(clock, "layout");
    }
}

void GtkPopupCard::setSize(double scrollHeight, double width, double height) {
    if (window_ == nullptr) {
        return;
    }
    const int w = static_cast<int>(std::lround(width));
    const int h = static_cast<int>(std::lround(height));
    gtk_widget_set_size_request(scroll_, static_cast<int>(look_.contentWidth),
                                static_cast<int>(std::lround(scrollHeight)));
    gtk_fixed_move(GTK_FIXED(fixed_), footer_, footerInset, h - footerBottom - footerHeight);
    gtk_widget_set_size_request(fixed_, w, h);
    gtk_window_resize(GTK_WINDOW(window_), w, h);
    applyShape(w, h);
    resizePending_ = true;
    // The top-left corner stays where it is.
    frame_ = PopupRect{frame_.x, frame_.maxY() - height, width, height};
}

void GtkPopupCard::setFrame(const PopupRect& frame) {
    if (window_ == nullptr) {
        return;
    }
    const GdkRectangle r =
        GdkPopupScreens::toGdk(frame, GdkPopupScreens::origin(gtk_widget_get_display(window_)));
    if (frame.width != frame_.width || frame.height != frame_.height) {
        gtk_widget_set_size_request(fixed_, r.width, r.height);
        gtk_window_resize(GTK_WINDOW(window_), r.width, r.height);
        applyShape(r.width, r.height);
        resizePending_ = true;
    }
    frame_ = frame;
    gtk_window_move(GTK_WINDOW(window_), r.x, r.y);
    const bool resized = std::exchange(resizePending_, false);
    if (!gtk_widget_get_visible(window_)) {
        gtk_widget_show(window_);
    } else if (resized) {
        // The new size goes to the window system now rather than in the next frame, which would
        // otherwise stop there until the window system confirms it and draw only in the frame
        // after. Sent now, the confirmation is back before the next frame, which draws the card.
        holdDrawingUntilSized(r.width, r.height);
        gtk_container_check_resize(GTK_CONTAINER(window_));
    }
}

void GtkPopupCard::holdDrawingUntilSized(int width, int height) {
    // A window manager may answer a resize with the old size first (openbox does): the toolkit
    // takes that for the answer and draws the new content at the old size for a frame. The
    // drawing waits for the size asked for instead, or a quarter second if it never comes.
    // A window not mapped yet is drawn first once it is mapped at its size.
    GdkWindow* gdkWindow = gtk_widget_get_window(window_);
    if (gdkWindow == nullptr || !gtk_widget_get_mapped(window_)) {
        return;
    }
    if (held_) {
        held_->width = width;
        held_->height = height;
        return;
    }
    gdk_window_freeze_updates(gdkWindow);
    const guint giveUp = g_timeout_add(
        250,
        [](gpointer data) {
            auto* self = static_cast<GtkPopupCard*>(data);
            self->held_->giveUp = 0;
            self->releaseDrawing();
            return G_SOURCE_REMOVE;
        },
        this);
    held_ = Held{width, height, giveUp};
}

void GtkPopupCard::releaseDrawing() {
    if (!held_) {
        return;
    }
    if (held_->giveUp != 0) {
        g_source_remove(held_->giveUp);
    }
    held_.reset();
    if (window_ != nullptr) {
        if (GdkWindow* gdkWindow = gtk_widget_get_window(window_)) {
            gdk_window_thaw_updates(gdkWindow);
        }
    }
}

gboolean GtkPopupCard::onConfigure(GtkWidget*, GdkEventConfigure* event, gpointer data) {
    auto* self = static_cast<GtkPopupCard*>(data);
    if (self->held_ && event->width == self->held_->width && event->height == self->held_->height) {
        self->releaseDrawing();
    }
    return FALSE;
}

bool GtkPopupCard::isVisible() const {
    return window_ != nullptr && gtk_widget_get_visible(window_);
}

void GtkPopupCard::setFooter(const std::string& text) {
    if (window_ == nullptr || text == footerText_) {
        return;
    }
    footerText_ = text;
    atk_object_set_name(gtk_widget_get_accessible(footer_), text.c_str());
    gtk_widget_queue_draw(footer_);
}

void GtkPopupCard::close() {
    if (window_ == nullptr) {
        return;
    }
    releaseDrawing();
    GtkWidget* window = std::exchange(window_, nullptr);
    grab_.reset();
    // No report reaches this object once its window is going.
    GList* children = gtk_container_get_children(GTK_CONTAINER(window));
    for (GList* c = children; c != nullptr; c = c->next) {
        g_signal_handlers_disconnect_by_data(c->data, this);
    }
    g_list_free(children);
    g_signal_handlers_disconnect_by_data(closeButton_, this);
    g_signal_handlers_disconnect_by_data(window, this);
    gtk_widget_destroy(window);
}

void GtkPopupCard::applyShape(int width, int height) {
    if (composited_) {
        return;
    }
    cairo_region_t* region = roundedRegion(width, height, cornerRadius);
    gtk_widget_shape_combine_region(window_, region);
    cairo_region_destroy(region);
}

bool GtkPopupCard::inCloseButton(double x, double y) const {
    GtkAllocation a;
    gtk_widget_get_allocation(closeButton_, &a);
    return x >= a.x && x < a.x + a.width && y >= a.y && y < a.y + a.height;
}

gboolean GtkPopupCard::onDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
    auto* self = static_cast<GtkPopupCard*>(data);
    const double w = gtk_widget_get_allocated_width(widget);
    const double h = gtk_widget_get_allocated_height(widget);
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    roundedPath(cr, w, h, cornerRadius);
    setColour(cr, self->background_);
    cairo_fill_preserve(cr);
    GdkRGBA edge = self->text_;
    edge.alpha = 0.18;
    setColour(cr, edge);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_restore(cr);
    return FALSE;  // the children draw over it
}

gboolean GtkPopupCard::onDelete(GtkWidget*, GdkEvent*, gpointer data) {
    auto* self = static_cast<GtkPopupCard*>(data);
    auto clicked = self->handlers_.closeClicked;  // may destroy this card
    if (clicked) {
        clicked();
    }
    return TRUE;
}

void GtkPopupCard::onDestroy(GtkWidget*, gpointer data) {
    auto* self = static_cast<GtkPopupCard*>(data);
    if (self->held_ && self->held_->giveUp != 0) {
        g_source_remove(self->held_->giveUp);
    }
    self->held_.reset();
    self->window_ = nullptr;
    self->grab_.reset();
}

void GtkPopupCard::onRealize(GtkWidget* widget, gpointer data) {
    auto* self = static_cast<GtkPopupCard*>(data);
    gdk_window_set_opacity(gtk_widget_get_window(widget), self->look_.opacity);
}

gboolean GtkPopupCard::onCloseDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
    auto* self = static_cast<GtkPopupCard*>(data);
    setColour(cr, GtkMeaningView::tone(self->closePressed_ ? MeaningView::Tone::primary
                                                           : MeaningView::Tone::tertiary,
                                       self->text_));
    drawText(widget, cr, "\u00D7", closeAttributes(), 0.5);
    return TRUE;
}

gboolean GtkPopupCard::onFooterDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
    auto* self = static_cast<GtkPopupCard*>(data);
    if (!self->footerText_.empty()) {
        // Right-aligned, as the countdown has always stood.
        drawText(widget, cr, self->footerText_.c_str(), footerAttributes(self->text_), 1.0);
    }
    return TRUE;
}

gboolean GtkPopupCard::onPress(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<GtkPopupCard*>(data);
    if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_PRIMARY) {
        return TRUE;
    }
    if (self->inCloseButton(event->x, event->y)) {
        self->closePressed_ = true;
        gtk_widget_queue_draw(self->closeButton_);
        return TRUE;
    }
    const auto space = GdkPopupScreens::origin(gtk_widget_get_display(self->window_));
    const GdkRectangle at = GdkPopupScreens::toGdk(self->frame_, space);
    self->grab_ = Grab{event->x_root, event->y_root, at.x, at.y, space};
    return TRUE;
}

gboolean GtkPopupCard::onMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
    auto* self = static_cast<GtkPopupCard*>(data);
    if (!self->grab_) {
        return FALSE;
    }
    const Grab& g = *self->grab_;
    const int x = g.originX + static_cast<int>(std::lround(event->x_root - g.pointerX));
    const int y = g.originY + static_cast<int>(std::lround(event->y_root - g.pointerY));
    gtk_window_move(GTK_WINDOW(self->window_), x, y);
    self->frame_ = GdkPopupScreens::fromGdk(x, y, self->frame_.width, self->frame_.height, g.space);
    return TRUE;
}

gboolean GtkPopupCard::onRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<GtkPopupCard*>(data);
    if (event->button != GDK_BUTTON_PRIMARY) {
        return TRUE;
    }
    if (self->closePressed_) {
        self->closePressed_ = false;
        gtk_widget_queue_draw(self->closeButton_);
        if (self->inCloseButton(event->x, event->y)) {
            // Last: the handler may close and destroy this card.
            auto clicked = self->handlers_.closeClicked;
            if (clicked) {
                clicked();
            }
        }
        return TRUE;
    }
    if (!self->grab_) {
        return TRUE;
    }
    const Grab g = *std::exchange(self->grab_, std::nullopt);
    const GdkRectangle now = GdkPopupScreens::toGdk(self->frame_, g.space);
    if (now.x != g.originX || now.y != g.originY) {
        auto ended = self->handlers_.dragEnded;
        if (ended) {
            ended();
        }
    }
    return TRUE;
}

gboolean GtkPopupCard::onScroll(GtkWidget*, GdkEventScroll* event, gpointer data) {
    auto* self = static_cast<GtkPopupCard*>(data);
    GtkAdjustment* adj = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(self->scroll_));
    const double page = gtk_adjustment_get_page_size(adj);
    const double step = std::pow(std::max(page, 1.0), 2.0 / 3.0);
    double dy = 0;
    switch (event->direction) {
        case GDK_SCROLL_UP:
            dy = -1;
            break;
        case GDK_SCROLL_DOWN:
            dy = 1;
            break;
        case GDK_SCROLL_SMOOTH:
            dy = event->delta_y;
            break;
        case GDK_SCROLL_LEFT:
        case GDK_SCROLL_RIGHT:
            return TRUE;
    }
    const double top = gtk_adjustment_get_upper(adj) - page;
    gtk_adjustment_set_value(
        adj, std::clamp(gtk_adjustment_get_value(adj) + dy * step, 0.0, std::max(top, 0.0)));
    return TRUE;
}

}  // namespace parlendo
