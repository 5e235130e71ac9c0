// The answer window's widgets and what the user does with them: the follow-up input and its keys,
// the buttons, dragging by a blank part of the page, resizing by an edge, and the countdown ring.
#include "aitalk/AITalkText.h"
#include "aitalk/AnswerWindow.h"
#include "foundation/GtkWordWrap.h"
#include "foundation/Log.h"
#include "foundation/PyText.h"
#include "popups/GdkPopupScreens.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <cmath>

namespace parlendo {

namespace {

constexpr const char* kTag = "ai_talk";

GtkWidget* button(const char* label, const char* cssClass) {
    GtkWidget* b = gtk_button_new_with_label(label);
    gtk_style_context_add_class(gtk_widget_get_style_context(b), cssClass);
    gtk_widget_set_focus_on_click(b, FALSE);
    return b;
}

GtkWidget* edgeStrip(GtkAlign halign, GtkAlign valign, int width, int height, const char* cursor) {
    GtkWidget* strip = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(strip), FALSE);
    gtk_event_box_set_above_child(GTK_EVENT_BOX(strip), TRUE);
    gtk_widget_set_halign(strip, halign);
    gtk_widget_set_valign(strip, valign);
    gtk_widget_set_size_request(strip, width, height);
    gtk_widget_add_events(
        strip, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
    g_object_set_data_full(G_OBJECT(strip), "cursor", g_strdup(cursor), g_free);
    g_signal_connect(
        strip, "realize", G_CALLBACK(+[](GtkWidget* widget, gpointer) {
            GdkWindow* window = gtk_widget_get_window(widget);
            const auto* name =
                static_cast<const char*>(g_object_get_data(G_OBJECT(widget), "cursor"));
            GdkCursor* c = gdk_cursor_new_from_name(gtk_widget_get_display(widget), name);
            // The event box's own input window is the last child window made.
            GList* children = gdk_window_peek_children(window);
            for (GList* l = children; l != nullptr; l = l->next) {
                gpointer owner = nullptr;
                gdk_window_get_user_data(GDK_WINDOW(l->data), &owner);
                if (owner == widget) {
                    gdk_window_set_cursor(GDK_WINDOW(l->data), c);
                }
            }
            if (c != nullptr) {
                g_object_unref(c);
            }
        }),
        nullptr);
    return strip;
}

}  // namespace

double AnswerWindow::inputLineHeight() {
    static const double height = [] {
        PangoFontMap* map = pango_cairo_font_map_get_default();
        PangoContext* context = pango_font_map_create_context(map);
        PangoFontDescription* font = pango_font_description_from_string("Sans");
        pango_font_description_set_absolute_size(font, 14 * PANGO_SCALE);
        PangoLayout* layout = pango_layout_new(context);
        pango_layout_set_font_description(layout, font);
        pango_layout_set_text(layout, "가Ag", -1);
        int w = 0;
        int h = 0;
        pango_layout_get_pixel_size(layout, &w, &h);
        g_object_unref(layout);
        pango_font_description_free(font);
        g_object_unref(context);
        return h > 0 ? static_cast<double>(h) : 17.0;
    }();
    return height;
}

void AnswerWindow::buildContent() {
    GtkWidget* overlay = gtk_overlay_new();
    gtk_container_add(GTK_CONTAINER(parts_.window), overlay);

    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(overlay), column);
    gtk_widget_set_vexpand(GTK_WIDGET(parts_.webView), TRUE);
    gtk_widget_set_hexpand(GTK_WIDGET(parts_.webView), TRUE);
    gtk_widget_add_events(GTK_WIDGET(parts_.webView), GDK_BUTTON_PRESS_MASK |
                                                          GDK_BUTTON_RELEASE_MASK |
                                                          GDK_POINTER_MOTION_MASK);
    gtk_box_pack_start(GTK_BOX(column), GTK_WIDGET(parts_.webView), TRUE, TRUE, 0);

    parts_.bottom = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_widget_set_margin_top(parts_.bottom, 8);
    gtk_widget_set_margin_start(parts_.bottom, 22);
    gtk_widget_set_margin_bottom(parts_.bottom, 16);
    gtk_widget_set_margin_end(parts_.bottom, 22);
    // The page takes what the controls leave.
    gtk_widget_set_vexpand(parts_.bottom, FALSE);
    gtk_box_pack_start(GTK_BOX(column), parts_.bottom, FALSE, FALSE, 0);

    parts_.notice = gtk_label_new("");
    GtkWordWrap::wrap(parts_.notice);
    gtk_label_set_xalign(GTK_LABEL(parts_.notice), 0);
    gtk_label_set_selectable(GTK_LABEL(parts_.notice), FALSE);
    gtk_style_context_add_class(gtk_widget_get_style_context(parts_.notice), "notice");
    gtk_box_pack_start(GTK_BOX(parts_.bottom), parts_.notice, FALSE, FALSE, 0);

    parts_.actionRow = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    parts_.selectionOnly = button(AITalkText::selectionOnlyButton, "action");
    parts_.add = button(AITalkText::addToDriveButton, "action");
    parts_.retry = button(AITalkText::retryButton, "action");
    gtk_widget_set_sensitive(parts_.add, FALSE);
    gtk_widget_set_tooltip_text(parts_.add, "다음 단계에서");
    for (GtkWidget* b : {parts_.selectionOnly, parts_.add, parts_.retry}) {
        gtk_box_pack_start(GTK_BOX(parts_.actionRow), b, FALSE, FALSE, 0);
    }
    g_signal_connect_swapped(parts_.selectionOnly, "clicked",
                             G_CALLBACK(+[](AnswerWindow* self) { self->tapSelectionOnly(); }),
                             this);
    g_signal_connect_swapped(parts_.retry, "clicked",
                             G_CALLBACK(+[](AnswerWindow* self) { self->tapRetry(); }), this);
    gtk_box_pack_start(GTK_BOX(parts_.bottom), parts_.actionRow, FALSE, FALSE, 0);

    buildInput();

    // The close button and the countdown ring, over the page's top-right corner.
    GtkWidget* corner = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 2);
    gtk_widget_set_halign(corner, GTK_ALIGN_END);
    gtk_widget_set_valign(corner, GTK_ALIGN_START);
    gtk_widget_set_margin_top(corner, 8);
    gtk_widget_set_margin_end(corner, 8);
    parts_.ring = gtk_drawing_area_new();
    gtk_widget_set_size_request(parts_.ring, 20, 20);
    gtk_widget_set_valign(parts_.ring, GTK_ALIGN_CENTER);
    gtk_widget_set_tooltip_text(parts_.ring, AITalkText::timerHelp);
    g_signal_connect(parts_.ring, "draw", G_CALLBACK(onDrawRing), this);
    parts_.close = button("×", "close");
    gtk_button_set_relief(GTK_BUTTON(parts_.close), GTK_RELIEF_NONE);
    gtk_widget_set_size_request(parts_.close, 24, 24);
    gtk_widget_set_tooltip_text(parts_.close, AITalkText::closeHelp);
    g_signal_connect_swapped(parts_.close, "clicked",
                             G_CALLBACK(+[](AnswerWindow* self) { self->tapClose(); }), this);
    gtk_box_pack_start(GTK_BOX(corner), parts_.ring, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(corner), parts_.close, FALSE, FALSE, 0);
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay), corner);

    // The window sits at the screen's top right: it is resized by its left and bottom edges.
    parts_.leftEdge = edgeStrip(GTK_ALIGN_START, GTK_ALIGN_FILL, edge, -1, "ew-resize");
    parts_.bottomEdge = edgeStrip(GTK_ALIGN_FILL, GTK_ALIGN_END, -1, edge, "ns-resize");
    GtkWidget* cornerEdge =
        edgeStrip(GTK_ALIGN_START, GTK_ALIGN_END, 3 * edge, 3 * edge, "nesw-resize");
    g_object_set_data(G_OBJECT(parts_.leftEdge), "left", GINT_TO_POINTER(1));
    g_object_set_data(G_OBJECT(parts_.bottomEdge), "bottom", GINT_TO_POINTER(1));
    g_object_set_data(G_OBJECT(cornerEdge), "left", GINT_TO_POINTER(1));
    g_object_set_data(G_OBJECT(cornerEdge), "bottom", GINT_TO_POINTER(1));
    for (GtkWidget* strip : {parts_.leftEdge, parts_.bottomEdge, cornerEdge}) {
        g_signal_connect(strip, "button-press-event", G_CALLBACK(onEdgePress), this);
        g_signal_connect(strip, "motion-notify-event", G_CALLBACK(onEdgeMotion), this);
        g_signal_connect(strip, "button-release-event", G_CALLBACK(onEdgeRelease), this);
        gtk_overlay_add_overlay(GTK_OVERLAY(overlay), strip);
    }
    gtk_widget_show_all(overlay);
    gtk_widget_hide(parts_.actionRow);
    gtk_widget_hide(parts_.notice);
    gtk_widget_hide(parts_.ring);
}

void AnswerWindow::buildInput() {
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_valign(row, GTK_ALIGN_END);
    parts_.inputBox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_style_context_add_class(gtk_widget_get_style_context(parts_.inputBox), "input-box");
    gtk_widget_set_hexpand(parts_.inputBox, TRUE);
    gtk_widget_set_size_request(parts_.inputBox, -1, static_cast<int>(inputHeight_));

    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    GtkWidget* field = gtk_overlay_new();
    parts_.input = gtk_text_view_new();
    GtkTextView* view = GTK_TEXT_VIEW(parts_.input);
    gtk_text_view_set_wrap_mode(view, GTK_WRAP_WORD_CHAR);
    gtk_text_view_set_accepts_tab(view, FALSE);
    const double line = inputLineHeight();
    const int spare = static_cast<int>(AnswerLayout::inputBaseHeight - line);
    gtk_text_view_set_top_margin(view, spare / 2);
    gtk_text_view_set_bottom_margin(view, spare - spare / 2);
    gtk_text_view_set_left_margin(view, 10);
    gtk_text_view_set_right_margin(view, 10);
    gtk_container_add(GTK_CONTAINER(field), parts_.input);
    parts_.placeholder = gtk_label_new(AITalkText::inputHint);
    gtk_style_context_add_class(gtk_widget_get_style_context(parts_.placeholder), "placeholder");
    gtk_widget_set_halign(parts_.placeholder, GTK_ALIGN_START);
    gtk_widget_set_valign(parts_.placeholder, GTK_ALIGN_START);
    gtk_widget_set_margin_start(parts_.placeholder, 10);
    gtk_widget_set_margin_top(parts_.placeholder, spare / 2);
    gtk_overlay_add_overlay(GTK_OVERLAY(field), parts_.placeholder);
    gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(field), parts_.placeholder, TRUE);
    gtk_container_add(GTK_CONTAINER(scroller), field);
    gtk_box_pack_start(GTK_BOX(parts_.inputBox), scroller, TRUE, TRUE, 0);

    parts_.send = button(AITalkText::sendButton, "send");
    gtk_widget_set_size_request(parts_.send, 64, 36);
    gtk_widget_set_valign(parts_.send, GTK_ALIGN_END);
    g_signal_connect_swapped(parts_.send, "clicked",
                             G_CALLBACK(+[](AnswerWindow* self) { self->tapSend(); }), this);
    gtk_box_pack_start(GTK_BOX(row), parts_.inputBox, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(row), parts_.send, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(parts_.bottom), row, FALSE, FALSE, 0);

    GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
    g_signal_connect_swapped(buffer, "changed",
                             G_CALLBACK(+[](AnswerWindow* self) { self->textChanged(); }), this);
    g_signal_connect(parts_.input, "key-press-event", G_CALLBACK(onInputKey), this);
    g_signal_connect(parts_.input, "button-press-event", G_CALLBACK(onInputPress), this);
    g_signal_connect(parts_.input, "preedit-changed",
                     G_CALLBACK(+[](GtkTextView*, gchar* preedit, gpointer data) {
                         auto* self = static_cast<AnswerWindow*>(data);
                         self->preedit_ = preedit != nullptr ? preedit : "";
                         gtk_widget_set_visible(
                             self->parts_.placeholder,
                             self->inputText().empty() && self->preedit_.empty());
                     }),
                     this);
    g_signal_connect_swapped(parts_.input, "size-allocate",
                             G_CALLBACK(+[](AnswerWindow* self) { self->resizeInput(); }), this);
}

std::string AnswerWindow::inputText() const {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(parts_.input));
    GtkTextIter start;
    GtkTextIter end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string out = text != nullptr ? text : "";
    g_free(text);
    return out;
}

bool AnswerWindow::composing() const {
    return !preedit_.empty();
}

void AnswerWindow::textChanged() {
    if (trimming_) {
        return;
    }
    const std::string text = inputText();
    if (PyText::count(text) > static_cast<size_t>(500)) {
        trimming_ = true;
        const std::string cut = PyText::prefix(text, 500);
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(parts_.input)), cut.c_str(),
                                 static_cast<gint>(cut.size()));
        trimming_ = false;
    }
    gtk_widget_set_visible(parts_.placeholder, inputText().empty() && preedit_.empty());
    resizeInput();
}

void AnswerWindow::resizeInput() {
    if (parts_.inputBox == nullptr) {
        return;
    }
    const double line = inputLineHeight();
    std::string text = inputText();
    const int width = gtk_widget_get_allocated_width(parts_.input) - 20 - 4;
    int lines = 1;
    if (!text.empty() && width > 20) {
        if (text.back() == '\n') {
            text += ' ';
        }
        PangoLayout* layout = gtk_widget_create_pango_layout(parts_.input, text.c_str());
        pango_layout_set_width(layout, width * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        int w = 0;
        int h = 0;
        pango_layout_get_pixel_size(layout, &w, &h);
        g_object_unref(layout);
        lines = AnswerLayout::inputLines(h, line);
    }
    const double target = AnswerLayout::inputBoxHeight(lines, line);
    if (std::fabs(target - inputHeight_) < 0.5) {
        return;
    }
    inputHeight_ = target;
    gtk_widget_set_size_request(parts_.inputBox, -1, static_cast<int>(std::lround(target)));
    if (fixedSize_) {
        if (pageReady_) {
            evaluate("window.scrollTo(0,document.body.scrollHeight)", [](std::optional<Json>) {});
        }
    } else {
        fit(lastContentHeight_);
    }
}

void AnswerWindow::submit() {
    if (!canAsk() || composing()) {
        return;
    }
    const std::string question = PyText::strip(inputText());
    if (question.empty()) {
        return;
    }
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(parts_.input)), "", -1);
    resizeInput();
    if (onFollowup) {
        onFollowup(question);
    }
}

void AnswerWindow::becomeKey(guint32 time) {
    if (!acceptsFocus_) {
        acceptsFocus_ = true;
        gtk_window_set_accept_focus(GTK_WINDOW(parts_.window), TRUE);
    }
    gtk_window_present_with_time(GTK_WINDOW(parts_.window), time);
}

void AnswerWindow::tapClose() {
    if (onClose) {
        onClose("button");
    }
}

void AnswerWindow::tapSelectionOnly() {
    if (onSelectionOnly) {
        onSelectionOnly();
    }
}

void AnswerWindow::tapRetry() {
    if (onRetry) {
        onRetry();
    }
}

void AnswerWindow::tapSend() {
    submit();
}

gboolean AnswerWindow::onWindowKey(GtkWidget*, GdkEventKey* event, gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    const auto mods =
        event->state & (GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK);
    if (event->keyval == GDK_KEY_Escape) {
        if (self->onClose) {
            self->onClose("escape");
        }
        return TRUE;
    }
    // Ctrl+Return sends while the question is being edited.
    if ((event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter) &&
        mods == GDK_CONTROL_MASK && gtk_widget_has_focus(self->parts_.input)) {
        self->submit();
        return TRUE;
    }
    return FALSE;
}

gboolean AnswerWindow::onInputKey(GtkWidget*, GdkEventKey* event, gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    if (event->keyval != GDK_KEY_Return && event->keyval != GDK_KEY_KP_Enter) {
        return FALSE;
    }
    if ((event->state & GDK_CONTROL_MASK) != 0) {
        return FALSE;  // the window's Ctrl+Return
    }
    // An input method that works asynchronously hands a key it did not use back as a second
    // event of the same press: the Return that committed a syllable must not send it too.
    if (self->imReturnTime_ && *self->imReturnTime_ == event->time) {
        return TRUE;
    }
    self->imReturnTime_.reset();
    switch (AnswerInputKey::onReturn((event->state & GDK_SHIFT_MASK) != 0,
                                     (event->state & GDK_MOD1_MASK) != 0, self->composing())) {
        case AnswerInputKey::Action::wait:
            // The input method may commit what it composes; the press does nothing more.
            self->imReturnTime_ = event->time;
            gtk_text_view_im_context_filter_keypress(GTK_TEXT_VIEW(self->parts_.input), event);
            return TRUE;
        case AnswerInputKey::Action::newline:
            gtk_text_buffer_insert_at_cursor(
                gtk_text_view_get_buffer(GTK_TEXT_VIEW(self->parts_.input)), "\n", 1);
            return TRUE;
        case AnswerInputKey::Action::send:
            self->submit();
            return TRUE;
    }
    return FALSE;
}

gboolean AnswerWindow::onInputPress(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    self->becomeKey(event->time);
    gtk_widget_grab_focus(self->parts_.input);
    return FALSE;
}

gboolean AnswerWindow::onPagePress(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_PRIMARY) {
        return FALSE;
    }
    if (AnswerLayout::isBlank(event->x, event->y, self->solids_)) {
        self->drag_ = Drag{event->x_root, event->y_root, self->frame_.x, self->frame_.y};
        Log::write(kTag, "답 창 끌기");
        return TRUE;
    }
    self->becomeKey(event->time);
    return FALSE;
}

gboolean AnswerWindow::onPageMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    if (!self->drag_) {
        return FALSE;
    }
    GdkRectangle next = self->frame_;
    next.x =
        self->drag_->originX + static_cast<int>(std::lround(event->x_root - self->drag_->pointerX));
    next.y =
        self->drag_->originY + static_cast<int>(std::lround(event->y_root - self->drag_->pointerY));
    self->frame_ = next;
    gtk_window_move(GTK_WINDOW(self->parts_.window), next.x, next.y);
    return TRUE;
}

gboolean AnswerWindow::onPageRelease(GtkWidget*, GdkEventButton*, gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    if (!self->drag_) {
        return FALSE;
    }
    self->drag_.reset();
    return TRUE;
}

gboolean AnswerWindow::onEdgePress(GtkWidget* strip, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    if (event->type != GDK_BUTTON_PRESS || event->button != GDK_BUTTON_PRIMARY) {
        return FALSE;
    }
    Resize resize;
    resize.left = g_object_get_data(G_OBJECT(strip), "left") != nullptr;
    resize.bottom = g_object_get_data(G_OBJECT(strip), "bottom") != nullptr;
    resize.pointerX = event->x_root;
    resize.pointerY = event->y_root;
    resize.start = self->frame_;
    self->resize_ = resize;
    return TRUE;
}

gboolean AnswerWindow::onEdgeMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    if (!self->resize_) {
        return FALSE;
    }
    const Resize& r = *self->resize_;
    GdkRectangle next = r.start;
    if (r.left) {
        const int right = r.start.x + r.start.width;
        next.width =
            std::max(static_cast<int>(AnswerLayout::minWidth),
                     r.start.width - static_cast<int>(std::lround(event->x_root - r.pointerX)));
        next.x = right - next.width;
    }
    if (r.bottom) {
        next.height =
            std::max(static_cast<int>(AnswerLayout::minHeight),
                     r.start.height + static_cast<int>(std::lround(event->y_root - r.pointerY)));
    }
    self->setFrame(next);
    return TRUE;
}

gboolean AnswerWindow::onEdgeRelease(GtkWidget*, GdkEventButton*, gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    if (!self->resize_) {
        return FALSE;
    }
    const bool changed = self->resize_->start.width != self->frame_.width ||
                         self->resize_->start.height != self->frame_.height;
    self->resize_.reset();
    if (!self->visible_ || !changed) {
        return TRUE;
    }
    self->fixedSize_ = true;
    if (self->saveSize) {
        self->saveSize(AnswerLayout::sizeText(self->frame_.width, self->frame_.height));
    }
    self->lastTick_.reset();
    Log::write(kTag, "답 창 크기 기억 w=" + std::to_string(self->frame_.width) +
                         " h=" + std::to_string(self->frame_.height));
    return TRUE;
}

gboolean AnswerWindow::onDrawRing(GtkWidget* widget, cairo_t* cr, gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    const double cx = gtk_widget_get_allocated_width(widget) / 2.0;
    const double cy = gtk_widget_get_allocated_height(widget) / 2.0;
    const double radius = 8;
    cairo_set_line_width(cr, 2.5);
    const GdkRGBA& track = self->colors_.line;
    cairo_set_source_rgba(cr, track.red, track.green, track.blue, track.alpha);
    cairo_arc(cr, cx, cy, radius, 0, 2 * G_PI);
    cairo_stroke(cr);
    if (self->ringFraction_ > 0) {
        const GdkRGBA& c = self->ringPaused_ ? self->colors_.muted : self->colors_.accent;
        cairo_set_source_rgba(cr, c.red, c.green, c.blue, c.alpha);
        // From the top, clockwise, as much of the circle as is left.
        cairo_arc(cr, cx, cy, radius, -G_PI / 2, -G_PI / 2 + 2 * G_PI * self->ringFraction_);
        cairo_stroke(cr);
    }
    return TRUE;
}

}  // namespace parlendo
