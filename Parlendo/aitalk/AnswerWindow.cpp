#include "aitalk/AnswerWindow.h"

#include "aitalk/AITalkText.h"
#include "aitalk/AnswerPalette.h"
#include "foundation/FloatingWindow.h"
#include "foundation/Log.h"
#include "foundation/MainSteps.h"
#include "foundation/PlatformWords.h"
#include "foundation/WebContext.h"
#include "popups/GdkPopupScreens.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace parlendo {

namespace {

constexpr const char* kTag = "ai_talk";
constexpr const char* kName = "parlendo-answer";

GdkRGBA rgba(std::uint32_t colour, double alpha = 1.0) {
    return GdkRGBA{((colour >> 16) & 0xff) / 255.0, ((colour >> 8) & 0xff) / 255.0,
                   (colour & 0xff) / 255.0, alpha};
}

std::string css(const GdkRGBA& c) {
    char text[64];
    std::snprintf(text, sizeof text, "rgba(%d,%d,%d,%.2f)", static_cast<int>(c.red * 255 + 0.5),
                  static_cast<int>(c.green * 255 + 0.5), static_cast<int>(c.blue * 255 + 0.5),
                  c.alpha);
    return text;
}

}  // namespace

AnswerWindow::Colors AnswerWindow::Colors::of(ThemeMode mode) {
    const AnswerPalette& p = AnswerPalette::of(mode);
    return Colors{rgba(p.card),
                  rgba(p.ink),
                  rgba(p.muted),
                  rgba(p.line),
                  rgba(p.accent),
                  rgba(p.accentInk),
                  rgba(p.accent, AnswerPalette::disabledAccentAlpha),
                  rgba(p.warn),
                  rgba(p.soft)};
}

std::shared_ptr<AnswerWindow> AnswerWindow::make(const AnswerPage::Built& page,
                                                 const std::string& mathSource, ThemeMode theme,
                                                 ExecutorPtr main,
                                                 std::shared_ptr<const MonotonicClock> clock) {
    std::shared_ptr<AnswerWindow> window(
        new AnswerWindow(std::move(main), clock ? std::move(clock) : SystemClock::shared(), theme));
    window->buildShell();
    window->buildView(mathSource);
    window->buildContent();
    window->paint();
    window->loadPage(page);
    return window;
}

void AnswerWindow::makeInSteps(const AnswerPage::Built& page, const std::string& mathSource,
                               ThemeMode theme, ExecutorPtr main,
                               std::shared_ptr<const MonotonicClock> clock,
                               Completion<void(std::shared_ptr<AnswerView>)> done) {
    std::shared_ptr<AnswerWindow> window(
        new AnswerWindow(main, clock ? std::move(clock) : SystemClock::shared(), theme));
    // The web view's first build starts the web engine: each step alone stays short.
    auto shared = std::make_shared<Completion<void(std::shared_ptr<AnswerView>)>>(std::move(done));
    std::vector<MainSteps::Step> steps = {[window] {
        window->buildShell();
    }};
    for (auto& step : WebContext::startSteps()) {
        steps.push_back(std::move(step));
    }
    steps.push_back([window, mathSource] { window->buildView(mathSource); });
    steps.push_back([window] {
        window->buildContent();
        window->paint();
    });
    steps.push_back([window, page] { window->loadPage(page); });
    MainSteps::run(main, std::move(steps), [window, shared] { (*shared)(window); });
}

AnswerWindow::AnswerWindow(ExecutorPtr main, std::shared_ptr<const MonotonicClock> clock,
                           ThemeMode theme)
    : main_(std::move(main)), clock_(std::move(clock)), theme_(theme), colors_(Colors::of(theme)) {}

AnswerWindow::~AnswerWindow() {
    timerGeneration_ += 1;
    if (parts_.webView != nullptr) {
        g_signal_handlers_disconnect_by_data(parts_.webView, this);
    }
    if (parts_.window != nullptr) {
        g_signal_handlers_disconnect_by_data(parts_.window, this);
        gtk_widget_destroy(parts_.window);
    }
    if (css_ != nullptr) {
        gtk_style_context_remove_provider_for_screen(gdk_screen_get_default(),
                                                     GTK_STYLE_PROVIDER(css_));
        g_object_unref(css_);
    }
}

void AnswerWindow::buildShell() {
    parts_.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(parts_.window);
    gtk_widget_set_name(parts_.window, kName);
    gtk_window_set_title(window, "PARLENDO AI");
    makeFloating(window, GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_resizable(window, TRUE);
    GdkGeometry hints{};
    hints.min_width = static_cast<int>(AnswerLayout::minWidth);
    hints.min_height = static_cast<int>(AnswerLayout::minHeight);
    gtk_window_set_geometry_hints(window, nullptr, &hints, GDK_HINT_MIN_SIZE);
    gtk_window_set_default_size(window, frame_.width, frame_.height);
    g_signal_connect(parts_.window, "key-press-event", G_CALLBACK(onWindowKey), this);
    g_signal_connect(parts_.window, "delete-event", G_CALLBACK(onDeleteEvent), this);

    css_ = gtk_css_provider_new();
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css_),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

void AnswerWindow::buildView(const std::string& mathSource) {
    mathSource_ = !mathSource.empty();
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    if (!mathSource.empty()) {
        WebKitUserScript* script =
            webkit_user_script_new(mathSource.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                   WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
        webkit_user_content_manager_add_script(content, script);
        webkit_user_script_unref(script);
    }
    WebKitSettings* settings = WebContext::settings();
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_enable_write_console_messages_to_stdout(settings, FALSE);
    webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
    parts_.webView = WebContext::webView(content, settings);
    g_object_unref(settings);
    g_object_unref(content);
    g_signal_connect(parts_.webView, "decide-policy", G_CALLBACK(onDecidePolicy), this);
    g_signal_connect(parts_.webView, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(parts_.webView, "web-process-terminated", G_CALLBACK(onWebProcessGone), this);
    g_signal_connect(parts_.webView, "create", G_CALLBACK(onCreate), this);
    g_signal_connect(parts_.webView, "button-press-event", G_CALLBACK(onPagePress), this);
    g_signal_connect(parts_.webView, "motion-notify-event", G_CALLBACK(onPageMotion), this);
    g_signal_connect(parts_.webView, "button-release-event", G_CALLBACK(onPageRelease), this);
    // The page's own menu offers reloading and inspecting; the answer needs neither.
    g_signal_connect(parts_.webView, "context-menu",
                     G_CALLBACK(+[](WebKitWebView*, WebKitContextMenu*, GdkEvent*,
                                    WebKitHitTestResult*, gpointer) -> gboolean { return TRUE; }),
                     nullptr);
}

void AnswerWindow::loadPage(const AnswerPage::Built& page) {
    html_ = page.html;
    webkit_web_view_load_html(parts_.webView, html_.c_str(), nullptr);
    Log::write(kTag, std::string("답 창 준비 renderer=") +
                         (page.usesWindowsRenderer ? "windows_md" : "plain") + " math=" +
                         (mathSource_ ? "true" : "false") + " theme=" + toString(theme_));
}

void AnswerWindow::paint() {
    const Colors& c = colors_;
    std::string text;
    const std::string root = std::string("#") + kName;
    text += root + "{background-color:" + css(c.card) + ";}\n";
    text += root + " .notice{color:" + css(c.warn) + ";font-size:14px;}\n";
    text += root + " .action{font-size:13px;}\n";
    text += root + " .input-box{border:1px solid " + css(c.line) +
            ";border-radius:8px;background-color:" + css(c.card) + ";}\n";
    text += root + " .input-box.off{background-color:" + css(c.soft) + ";}\n";
    text += root + " .input-box scrolledwindow," + root + " .input-box textview," + root +
            " .input-box textview text{background-color:transparent;background-image:none;}\n";
    text += root + " .input-box textview text{color:" + css(c.ink) + ";caret-color:" + css(c.ink) +
            ";}\n";
    text += root + " .input-box textview{font-size:14px;}\n";
    text += root + " .placeholder{color:" + css(c.muted) + ";font-size:14px;}\n";
    text += root + " button.send{background-image:none;background-color:" + css(c.accent) +
            ";color:" + css(c.accentInk) +
            ";border:none;border-radius:8px;box-shadow:none;font-weight:bold;font-size:14px;"
            "text-shadow:none;}\n";
    text += root + " button.send label{color:" + css(c.accentInk) + ";}\n";
    text += root + " button.send:disabled{background-color:" + css(c.accentOff) + ";}\n";
    text += root +
            " button.close{background:none;border:none;box-shadow:none;color:" + css(c.muted) +
            ";font-size:16px;padding:0;min-height:24px;min-width:24px;}\n";
    text += root + " button.close label{color:" + css(c.muted) + ";}\n";
    gtk_css_provider_load_from_data(css_, text.c_str(), -1, nullptr);
    webkit_web_view_set_background_color(parts_.webView, &c.card);
    if (parts_.ring != nullptr) {
        gtk_widget_queue_draw(parts_.ring);
    }
    applyControls();
}

void AnswerWindow::applyControls() {
    using Phase = AnswerState::Phase;
    if (parts_.notice == nullptr) {
        return;
    }
    // Without its page the window cannot show the answer: it says so, as for a failed one.
    const std::optional<std::string> notice =
        pageGone_ ? std::optional<std::string>(AITalkText::retry) : state_.notice;
    if (notice) {
        gtk_label_set_text(GTK_LABEL(parts_.notice), PlatformWords::render(*notice).c_str());
        gtk_widget_show(parts_.notice);
    } else {
        gtk_label_set_text(GTK_LABEL(parts_.notice), "");
        gtk_widget_hide(parts_.notice);
    }
    const bool notFound = !pageGone_ && state_.phase == Phase::notFound;
    const bool failed = !pageGone_ && state_.phase == Phase::failed;
    gtk_widget_set_visible(parts_.actionRow, notFound || failed);
    gtk_widget_set_visible(parts_.selectionOnly, notFound);
    gtk_widget_set_visible(parts_.add, notFound);
    gtk_widget_set_visible(parts_.retry, failed);
    const bool actionable = state_.phase != Phase::loading && !state_.pending;
    gtk_widget_set_sensitive(parts_.selectionOnly, actionable);
    gtk_widget_set_sensitive(parts_.retry, actionable);
    const bool asks = canAsk();
    gtk_widget_set_sensitive(parts_.input, asks);
    gtk_widget_set_sensitive(parts_.send, asks);
    GtkStyleContext* box = gtk_widget_get_style_context(parts_.inputBox);
    if (asks) {
        gtk_style_context_remove_class(box, "off");
    } else {
        gtk_style_context_add_class(box, "off");
    }
    gtk_widget_set_visible(parts_.ring, !pageGone_ && state_.phase == Phase::answered);
}

bool AnswerWindow::canAsk() const {
    return !pageGone_ && state_.canAsk();
}

void AnswerWindow::show(const AnswerState& state) {
    size_t answers = 0;
    for (const auto& turn : state.turns) {
        answers += turn.role == AnswerState::Turn::Role::assistant;
    }
    // A new first answer, or a follow-up answer, gives the reader ten seconds again.
    if (state.answerSeq != lastAnswerSeq_ || answers > lastAnswers_) {
        countdown_.restart();
        lastTick_.reset();
    }
    lastAnswerSeq_ = state.answerSeq;
    lastAnswers_ = answers;
    state_ = state;
    if (pageGone_ && state_.turns.empty()) {
        // A new question: nothing of what the ended page showed is in it.
        pageGone_ = false;
        firstLoad_ = true;
        webkit_web_view_load_html(parts_.webView, html_.c_str(), nullptr);
        Log::write(kTag, "답 창 페이지 다시 읽음");
    }
    if (!visible_) {
        open();
    } else if (!timerRunning_) {
        timerRunning_ = true;
        scheduleTick(timerGeneration_);
    }
    applyControls();
    render();
}

AnswerLayout::Rect AnswerWindow::visibleArea(bool atPointer) const {
    GdkDisplay* display = gtk_widget_get_display(parts_.window);
    GdkMonitor* monitor = nullptr;
    if (!atPointer && gtk_widget_get_window(parts_.window) != nullptr) {
        monitor = gdk_display_get_monitor_at_window(display, gtk_widget_get_window(parts_.window));
    }
    if (monitor == nullptr) {
        GdkSeat* seat = gdk_display_get_default_seat(display);
        GdkDevice* pointer = seat != nullptr ? gdk_seat_get_pointer(seat) : nullptr;
        int x = 0;
        int y = 0;
        if (pointer != nullptr) {
            gdk_device_get_position(pointer, nullptr, &x, &y);
            monitor = gdk_display_get_monitor_at_point(display, x, y);
        }
    }
    if (monitor == nullptr) {
        monitor = gdk_display_get_primary_monitor(display);
    }
    const auto origin = GdkPopupScreens::origin(display);
    if (monitor == nullptr) {
        return AnswerLayout::Rect{0, 0, 1440, 900};
    }
    GdkRectangle work;
    gdk_monitor_get_workarea(monitor, &work);
    const PopupRect r = GdkPopupScreens::fromGdk(work.x, work.y, work.width, work.height, origin);
    return AnswerLayout::Rect{r.x, r.y, r.width, r.height};
}

void AnswerWindow::setFrame(const GdkRectangle& frame) {
    frame_ = frame;
    gtk_window_move(GTK_WINDOW(parts_.window), frame.x, frame.y);
    gtk_window_resize(GTK_WINDOW(parts_.window), frame.width, frame.height);
}

void AnswerWindow::open() {
    visible_ = true;
    const auto saved = AnswerLayout::parseSize(loadSize ? loadSize() : std::nullopt);
    fixedSize_ = saved.has_value();
    const auto area = visibleArea(true);
    const auto rect = AnswerLayout::initialFrame(area, saved ? saved->first : AnswerLayout::width,
                                                 saved ? saved->second : AnswerLayout::minHeight);
    const auto origin = GdkPopupScreens::origin(gtk_widget_get_display(parts_.window));
    setFrame(GdkPopupScreens::toGdk(PopupRect{rect.x, rect.y, rect.width, rect.height}, origin));
    acceptsFocus_ = false;
    gtk_window_set_accept_focus(GTK_WINDOW(parts_.window), FALSE);
    gtk_widget_show(parts_.window);
    if (GdkWindow* gdk = gtk_widget_get_window(parts_.window)) {
        gdk_window_raise(gdk);
    }
    if (!timerRunning_) {
        timerRunning_ = true;
        scheduleTick(timerGeneration_);
    }
    Log::write(kTag, std::string("답 창 뜸 fixed_size=") + (fixedSize_ ? "true" : "false"));
}

void AnswerWindow::fit(std::optional<double> contentHeight) {
    if (contentHeight) {
        lastContentHeight_ = contentHeight;
    }
    if (!visible_ || !contentHeight || fixedSize_) {
        return;
    }
    int bottomHeight = 0;
    gtk_widget_get_preferred_height(parts_.bottom, nullptr, &bottomHeight);
    const double target = AnswerLayout::height(bottomHeight + *contentHeight);
    if (std::fabs(target - frame_.height) < 1) {
        return;
    }
    const auto origin = GdkPopupScreens::origin(gtk_widget_get_display(parts_.window));
    const PopupRect now =
        GdkPopupScreens::fromGdk(frame_.x, frame_.y, frame_.width, frame_.height, origin);
    const auto next = AnswerLayout::resized(AnswerLayout::Rect{now.x, now.y, now.width, now.height},
                                            target, visibleArea(false));
    setFrame(GdkPopupScreens::toGdk(PopupRect{next.x, next.y, next.width, next.height}, origin));
}

void AnswerWindow::scheduleTick(unsigned generation) {
    std::weak_ptr<AnswerWindow> weak = weak_from_this();
    main_->postAfter(tickSeconds, [weak, generation] {
        auto self = weak.lock();
        if (!self || generation != self->timerGeneration_ || !self->visible_) {
            return;
        }
        self->tick();
        if (self->visible_ && generation == self->timerGeneration_) {
            self->scheduleTick(generation);
        }
    });
}

bool AnswerWindow::pointerInside() const {
    GdkDisplay* display = gtk_widget_get_display(parts_.window);
    GdkSeat* seat = gdk_display_get_default_seat(display);
    GdkDevice* pointer = seat != nullptr ? gdk_seat_get_pointer(seat) : nullptr;
    if (pointer == nullptr) {
        return false;
    }
    int x = 0;
    int y = 0;
    gdk_device_get_position(pointer, nullptr, &x, &y);
    return x >= frame_.x && x < frame_.x + frame_.width && y >= frame_.y &&
           y < frame_.y + frame_.height;
}

void AnswerWindow::tick() {
    const double now = clock_->uptime();
    const double elapsed = lastTick_ ? now - *lastTick_ : 0;
    lastTick_ = now;
    const bool inside = pointerInside();
    const bool paused =
        inside || !inputText().empty() || composing() || state_.pending || resize_.has_value();
    if (inside) {
        refreshSolids();
    }
    // A window that lost its page shows a failure, which waits for the reader to close it.
    const auto phase = pageGone_ ? AnswerState::Phase::failed : state_.phase;
    if (countdown_.tick(elapsed, phase, paused)) {
        // Asked once: the ticks stop until the window is shown again.
        timerGeneration_ += 1;
        timerRunning_ = false;
        if (onClose) {
            onClose("timer");
        }
        return;
    }
    const double fraction = countdown_.fraction();
    if (fraction != ringFraction_ || paused != ringPaused_) {
        ringFraction_ = fraction;
        ringPaused_ = paused;
        gtk_widget_queue_draw(parts_.ring);
    }
}

void AnswerWindow::hide() {
    timerGeneration_ += 1;
    timerRunning_ = false;
    visible_ = false;
    drag_.reset();
    resize_.reset();
    gtk_widget_hide(parts_.window);
    acceptsFocus_ = false;
    gtk_window_set_accept_focus(GTK_WINDOW(parts_.window), FALSE);
    trimming_ = true;
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(parts_.input)), "", -1);
    trimming_ = false;
    textChanged();
    lastAnswerSeq_ = -1;
    lastAnswers_ = 0;
    solids_.reset();
    lastSent_.reset();
    if (pageReady_) {
        evaluate("__answer.show({turns:[]})", [](std::optional<Json>) {});
    }
}

void AnswerWindow::applyTheme(ThemeMode mode) {
    if (mode == theme_) {
        return;
    }
    theme_ = mode;
    colors_ = Colors::of(mode);
    paint();
    if (pageReady_) {
        evaluate(AnswerPage::themeScript(mode), [](std::optional<Json>) {});
    }
    Log::write(kTag, std::string("답 창 테마 theme=") + toString(mode) +
                         " visible=" + (visible_ ? "true" : "false"));
}

gboolean AnswerWindow::onDeleteEvent(GtkWidget*, GdkEvent*, gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    if (self->onClose) {
        self->onClose("button");
    }
    return TRUE;
}

}  // namespace parlendo
