#include "shell/NoticeWindow.h"

#include "foundation/GtkAlert.h"
#include "foundation/GtkWordWrap.h"
#include "foundation/Log.h"
#include "foundation/MainSteps.h"
#include "foundation/PlatformWords.h"

#include <utility>
#include <vector>

namespace parlendo {

namespace {

using Weak = std::weak_ptr<NoticeWindow>;

// One paragraph of the notice: a selectable label that wraps at spaces.
GtkWidget* paragraph(const std::string& markup, int points, bool bold, int spacingBelow) {
    GtkWidget* label = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(label), markup.c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_selectable(GTK_LABEL(label), TRUE);
    gtk_widget_set_can_focus(label, FALSE);
    PangoAttrList* look = pango_attr_list_new();
    pango_attr_list_insert(look, pango_attr_size_new(points * PANGO_SCALE));
    if (bold) {
        pango_attr_list_insert(look, pango_attr_weight_new(PANGO_WEIGHT_BOLD));
    }
    gtk_label_set_attributes(GTK_LABEL(label), look);
    pango_attr_list_unref(look);
    GtkWordWrap::wrap(label);
    gtk_widget_set_margin_bottom(label, spacingBelow);
    return label;
}

std::string escaped(const std::string& text) {
    gchar* out = g_markup_escape_text(text.c_str(), -1);
    std::string result = out;
    g_free(out);
    return result;
}

}  // namespace

std::shared_ptr<NoticeWindow> NoticeWindow::make(std::optional<std::filesystem::path> resource,
                                                 const std::filesystem::path& stateRoot,
                                                 std::function<double()> wallNow,
                                                 ExecutorPtr writer) {
    return std::shared_ptr<NoticeWindow>(
        new NoticeWindow(std::move(resource), stateRoot, std::move(wallNow), std::move(writer)));
}

NoticeWindow::NoticeWindow(std::optional<std::filesystem::path> resource,
                           const std::filesystem::path& stateRoot, std::function<double()> wallNow,
                           ExecutorPtr writer)
    : resource_(std::move(resource)),
      state_(stateRoot),
      wallNow_(std::move(wallNow)),
      writer_(std::move(writer)) {}

NoticeWindow::~NoticeWindow() {
    if (window_ != nullptr) {
        gtk_widget_destroy(window_);
    }
}

void NoticeWindow::showIfNeeded(std::function<void()> answered) {
    const std::string markdown = FirstRunNotice::read(resource_);
    fingerprint_ = FirstRunNotice::fingerprint(markdown);
    if (!state_.needsNotice(fingerprint_)) {
        if (answered) {
            answered();
        }
        return;
    }
    answered_ = std::move(answered);
    show(markdown);
    Log::write("notice", "shown sha=" + fingerprint_.substr(0, 8));
}

void NoticeWindow::prepare(ExecutorPtr main, std::function<void()> ready) {
    const std::string markdown = FirstRunNotice::read(resource_);
    if (!state_.needsNotice(FirstRunNotice::fingerprint(markdown))) {
        ready();
        return;
    }
    if (window_ == nullptr) {
        build(markdown);
    }
    // Hidden widgets are not measured: everything but the window itself is shown already.
    gtk_widget_show_all(gtk_bin_get_child(GTK_BIN(window_)));
    std::vector<GtkWidget*> parts;
    GList* children = gtk_container_get_children(GTK_CONTAINER(text_));
    for (GList* c = children; c != nullptr; c = c->next) {
        parts.push_back(GTK_WIDGET(c->data));
    }
    g_list_free(children);
    parts.push_back(note_);
    std::vector<MainSteps::Step> steps;
    std::weak_ptr<NoticeWindow> weak = weak_from_this();
    for (GtkWidget* part : parts) {
        // At the width the column will have; the fonts and glyphs measured stay ready for the
        // window. A part is measured only while its window is still there.
        steps.push_back([weak, part] {
            auto self = weak.lock();
            if (!self || self->window_ == nullptr) {
                return;
            }
            constexpr int column = width - 2 * 20 - 2 * 10;
            int minimum = 0;
            int natural = 0;
            gtk_widget_get_preferred_width(part, &minimum, &natural);
            gtk_widget_get_preferred_height_for_width(part, column, &minimum, &natural);
        });
    }
    MainSteps::run(main, std::move(steps), std::move(ready));
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
    // The window itself is mapped by the presenter, with the action's time.
    gtk_widget_show_all(gtk_bin_get_child(GTK_BIN(window_)));
    GtkAlert::present(GTK_WINDOW(window_));
}

void NoticeWindow::acknowledge() {
    if (window_ != nullptr) {
        gtk_widget_hide(window_);
    }
    record();
}

void NoticeWindow::record() {
    if (!fingerprint_.empty() && state_.needsNotice(fingerprint_)) {
        auto save = [state = state_, fingerprint = fingerprint_, at = wallNow_()] {
            const bool saved = state.acknowledge(fingerprint, at);
            Log::write("notice", std::string("acknowledged saved=") + (saved ? "true" : "false") +
                                     " sha=" + fingerprint.substr(0, 8));
        };
        if (writer_) {
            writer_->post(std::move(save));
        } else {
            save();
        }
    }
    if (auto answered = std::exchange(answered_, nullptr)) {
        answered();
    }
}

std::string NoticeWindow::shownText() const {
    return shown_;
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

    // The text in paragraphs, in a scrolled frame; list items hang under their bullet.
    text_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_set_margin_top(text_, 10);
    gtk_widget_set_margin_start(text_, 10);
    gtk_widget_set_margin_end(text_, 10);
    gtk_widget_set_margin_bottom(text_, 10);
    const auto render = [](const std::string& text) {
        return PlatformWords::render(text);
    };
    const auto add = [this](const std::string& plain, const std::string& markup, int points,
                            bool bold, int spacing) {
        gtk_box_pack_start(GTK_BOX(text_), paragraph(markup, points, bold, spacing), FALSE, FALSE,
                           0);
        shown_ += plain + "\n";
    };
    const auto heading = [&](const std::string& text, int points, int spacing) {
        add(text, escaped(text), points, true, spacing);
    };
    const auto parsed = FirstRunNotice::parse(markdown);
    heading(render(parsed.title.empty() ? FirstRunNotice::defaultTitle : parsed.title), 15, 12);
    heading("창 제목", 13, 4);
    add(render(FirstRunNotice::windowTitleSentence),
        escaped(render(FirstRunNotice::windowTitleSentence)), 13, false, 12);
    for (const auto& section : parsed.sections) {
        if (!section.heading.empty()) {
            heading(render(section.heading), 13, 4);
        }
        // The body line by line; the section's last line keeps the paragraph spacing.
        std::vector<std::pair<std::string, std::string>> lines(1);
        std::vector<bool> items(1, false);
        for (const auto& span : FirstRunNotice::spans(section.body)) {
            if (span.text == "\n") {
                lines.emplace_back();
                items.push_back(false);
                continue;
            }
            if (span.listItem) {
                items.back() = true;
                continue;
            }
            const std::string text = render(span.text);
            std::string markup = escaped(text);
            if (span.bold) {
                markup = "<b>" + markup + "</b>";
            }
            if (span.italic) {
                markup = "<i>" + markup + "</i>";
            }
            lines.back().first += text;
            lines.back().second += markup;
        }
        for (size_t i = 0; i < lines.size(); ++i) {
            const int spacing = i + 1 == lines.size() ? 12 : 2;
            if (!items[i]) {
                add(lines[i].first, lines[i].second, 13, false, spacing);
                continue;
            }
            GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
            GtkWidget* bullet = paragraph("•", 13, false, 0);
            gtk_widget_set_margin_start(bullet, 10);
            gtk_widget_set_size_request(bullet, 24, -1);
            gtk_widget_set_valign(bullet, GTK_ALIGN_START);
            GtkWidget* text = paragraph(lines[i].second, 13, false, 0);
            gtk_widget_set_hexpand(text, TRUE);
            gtk_box_pack_start(GTK_BOX(row), bullet, FALSE, FALSE, 0);
            gtk_box_pack_start(GTK_BOX(row), text, TRUE, TRUE, 0);
            gtk_widget_set_margin_bottom(row, spacing);
            gtk_box_pack_start(GTK_BOX(text_), row, FALSE, FALSE, 0);
            shown_ += "• " + lines[i].first + "\n";
        }
    }

    GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroll), GTK_SHADOW_IN);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scroll), text_);
    gtk_widget_set_vexpand(scroll, TRUE);

    GtkWidget* note = note_ = gtk_label_new(render(footnote).c_str());
    gtk_widget_set_size_request(note, width - 40, -1);
    gtk_label_set_xalign(GTK_LABEL(note), 0);
    gtk_style_context_add_class(gtk_widget_get_style_context(note), "dim-label");
    PangoAttrList* small = pango_attr_list_new();
    pango_attr_list_insert(small, pango_attr_size_new(11 * PANGO_SCALE));
    gtk_label_set_attributes(GTK_LABEL(note), small);
    pango_attr_list_unref(small);
    GtkWordWrap::wrap(note);

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
