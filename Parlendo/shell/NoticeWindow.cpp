#include "shell/NoticeWindow.h"

#include "foundation/GtkAlert.h"
#include "foundation/Log.h"
#include "foundation/PlatformWords.h"

namespace parlendo {

namespace {

using Weak = std::weak_ptr<NoticeWindow>;

GtkTextTag* tag(GtkTextBuffer* buffer, const char* name, int points, bool bold, int spacing) {
    return gtk_text_buffer_create_tag(buffer, name, "size-points", static_cast<double>(points),
                                      "weight", bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL,
                                      "pixels-inside-wrap", 2, "pixels-below-lines", spacing,
                                      nullptr);
}

void append(GtkTextBuffer* buffer, const std::string& text, const char* style,
            const char* extra = nullptr, const char* more = nullptr) {
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    gtk_text_buffer_insert_with_tags_by_name(buffer, &end, text.c_str(), -1, style, extra, more,
                                             nullptr);
}

}  // namespace

std::shared_ptr<NoticeWindow> NoticeWindow::make(std::optional<std::filesystem::path> resource,
                                                 const std::filesystem::path& stateRoot,
                                                 std::function<double()> wallNow) {
    return std::shared_ptr<NoticeWindow>(
        new NoticeWindow(std::move(resource), stateRoot, std::move(wallNow)));
}

NoticeWindow::NoticeWindow(std::optional<std::filesystem::path> resource,
                           const std::filesystem::path& stateRoot, std::function<double()> wallNow)
    : resource_(std::move(resource)), state_(stateRoot), wallNow_(std::move(wallNow)) {}

NoticeWindow::~NoticeWindow() {
    if (window_ != nullptr) {
        gtk_widget_destroy(window_);
    }
}

void NoticeWindow::showIfNeeded() {
    const std::string markdown = FirstRunNotice::read(resource_);
    fingerprint_ = FirstRunNotice::fingerprint(markdown);
    if (state_.needsNotice(fingerprint_)) {
        show(markdown);
        Log::write("notice", "shown sha=" + fingerprint_.substr(0, 8));
    }
}

void NoticeWindow::showOnRequest() {
    const std::string markdown = FirstRunNotice::read(resource_);
    fingerprint_ = FirstRunNotice::fingerprint(markdown);
    show(markdown);
}

void NoticeWindow::show(const std::string& markdown) {
    if (window_ == nullptr) {
        build(markdown);
    }
    gtk_window_set_position(GTK_WINDOW(window_), GTK_WIN_POS_CENTER);
    gtk_widget_show_all(window_);
    GtkAlert::present(GTK_WINDOW(window_));
}

void NoticeWindow::acknowledge() {
    if (window_ != nullptr) {
        gtk_widget_hide(window_);
    }
    record();
}

void NoticeWindow::record() {
    if (fingerprint_.empty() || !state_.needsNotice(fingerprint_)) {
        return;
    }
    const bool saved = state_.acknowledge(fingerprint_, wallNow_());
    Log::write("notice", std::string("acknowledged saved=") + (saved ? "true" : "false") +
                             " sha=" + fingerprint_.substr(0, 8));
}

std::string NoticeWindow::shownText() const {
    if (text_ == nullptr) {
        return "";
    }
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(text_));
    GtkTextIter start;
    GtkTextIter end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    std::string out = text;
    g_free(text);
    return out;
}

void NoticeWindow::build(const std::string& markdown) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), title);
    gtk_window_set_default_size(GTK_WINDOW(window_), width, height);
    g_signal_connect_data(
        window_, "delete-event",
        G_CALLBACK(+[](GtkWidget* widget, GdkEvent*, gpointer data) -> gboolean {
            gtk_widget_hide(widget);
            if (auto self = static_cast<Weak*>(data)->lock()) {
                self->record();
            }
            return TRUE;
        }),
        new Weak(weak_from_this()),
        +[](gpointer data, GClosure*) { delete static_cast<Weak*>(data); }, GConnectFlags(0));

    text_ = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(text_), FALSE);
    gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(text_), FALSE);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(text_), GTK_WRAP_WORD_CHAR);
    gtk_text_view_set_left_margin(GTK_TEXT_VIEW(text_), 10);
    gtk_text_view_set_right_margin(GTK_TEXT_VIEW(text_), 10);
    gtk_text_view_set_top_margin(GTK_TEXT_VIEW(text_), 10);
    gtk_text_view_set_bottom_margin(GTK_TEXT_VIEW(text_), 10);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(text_));
    tag(buffer, "title", 15, true, 12);
    tag(buffer, "heading", 13, true, 4);
    tag(buffer, "body", 13, false, 12);
    gtk_text_buffer_create_tag(buffer, "bold", "weight", PANGO_WEIGHT_BOLD, nullptr);
    gtk_text_buffer_create_tag(buffer, "italic", "style", PANGO_STYLE_ITALIC, nullptr);
    gtk_text_buffer_create_tag(buffer, "item", "left-margin", 24, "indent", -14, nullptr);

    const auto parsed = FirstRunNotice::parse(markdown);
    const auto render = [](const std::string& text) {
        return PlatformWords::render(text);
    };
    append(buffer,
           render(parsed.title.empty() ? FirstRunNotice::defaultTitle : parsed.title) + "\n",
           "title");
    append(buffer, "창 제목\n", "heading");
    append(buffer, render(FirstRunNotice::windowTitleSentence) + "\n", "body");
    for (const auto& section : parsed.sections) {
        if (!section.heading.empty()) {
            append(buffer, render(section.heading) + "\n", "heading");
        }
        bool inItem = false;
        for (const auto& span : FirstRunNotice::spans(section.body)) {
            if (span.listItem) {
                inItem = true;
            } else if (span.text == "\n") {
                inItem = false;
            }
            append(buffer, render(span.text), "body", span.bold ? "bold" : nullptr,
                   span.italic ? "italic" : (inItem ? "item" : nullptr));
        }
        append(buffer, "\n", "body");
    }

    GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroll), GTK_SHADOW_IN);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scroll), text_);
    gtk_widget_set_vexpand(scroll, TRUE);

    GtkWidget* note = gtk_label_new(render(footnote).c_str());
    gtk_label_set_line_wrap(GTK_LABEL(note), TRUE);
    gtk_label_set_xalign(GTK_LABEL(note), 0);
    gtk_style_context_add_class(gtk_widget_get_style_context(note), "dim-label");
    PangoAttrList* small = pango_attr_list_new();
    pango_attr_list_insert(small, pango_attr_size_new(11 * PANGO_SCALE));
    gtk_label_set_attributes(GTK_LABEL(note), small);
    pango_attr_list_unref(small);

    GtkWidget* button = gtk_button_new_with_label("확인");
    gtk_widget_set_size_request(button, 90, -1);
    gtk_widget_set_halign(button, GTK_ALIGN_END);
    gtk_widget_set_can_default(button, TRUE);
    g_signal_connect_data(
        button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer data) {
            if (auto self = static_cast<Weak*>(data)->lock()) {
                self->acknowledge();
            }
        }),
        new Weak(weak_from_this()),
        +[](gpointer data, GClosure*) { delete static_cast<Weak*>(data); }, GConnectFlags(0));

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_widget_set_margin_top(box, 20);
    gtk_widget_set_margin_start(box, 20);
    gtk_widget_set_margin_end(box, 20);
    gtk_widget_set_margin_bottom(box, 16);
    gtk_box_pack_start(GTK_BOX(box), scroll, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), note, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), button, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window_), box);
    gtk_window_set_default(GTK_WINDOW(window_), button);
}

}  // namespace parlendo
