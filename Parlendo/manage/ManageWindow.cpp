#include "manage/ManageWindow.h"

#include "foundation/FileIO.h"
#include "foundation/GlibErrors.h"
#include "foundation/GtkAlert.h"
#include "foundation/GtkWordWrap.h"
#include "foundation/Log.h"
#include "foundation/MainSteps.h"
#include "foundation/UserActionTime.h"
#include "foundation/WebContext.h"
#include "foundation/WorkerQueue.h"
#include "manage/BridgeShim.h"
#include "manage/MacOverlay.h"
#include "manage/ManageLayout.h"
#include "manage/ManageNavigation.h"
#include "manage/ScriptValues.h"

namespace parlendo {

namespace {

constexpr const char* placeholder =
    "<h2 style='font-family:sans-serif'>관리 화면 파일이 빠졌어요 (manage.html)</h2>";

// The page names its scripts, and its content policy the scripts it allows, with this mark; each
// load replaces it with a fresh nonce. Left as it is, the mark is no valid nonce and nothing runs.
constexpr std::string_view nonceMark = "@page-nonce@";

std::string withNonce(std::string html, const std::string& nonce) {
    for (size_t at = html.find(nonceMark); at != std::string::npos;
         at = html.find(nonceMark, at + nonce.size())) {
        html.replace(at, nonceMark.size(), nonce);
    }
    return html;
}

// One script evaluation in flight. Its continuation holds nothing of the window but weakly, so
// a window closed meanwhile drops late results instead of touching released views.
struct Evaluation {
    std::function<void(JSCValue*, const GError*)> done;
};

void evaluated(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Evaluation> evaluation(static_cast<Evaluation*>(data));
    GError* error = nullptr;
    JSCValue* value =
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    evaluation->done(value, error);
    if (value != nullptr) {
        g_object_unref(value);
    }
    g_clear_error(&error);
}

void addScript(WebKitUserContentManager* content, const std::string& source) {
    WebKitUserScript* script =
        webkit_user_script_new(source.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
}

std::optional<ManageLayout::Size> visibleScreen() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr) {
        return std::nullopt;
    }
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr && gdk_display_get_n_monitors(display) > 0) {
        monitor = gdk_display_get_monitor(display, 0);
    }
    if (monitor == nullptr) {
        return std::nullopt;
    }
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    return ManageLayout::Size{static_cast<double>(area.width), static_cast<double>(area.height)};
}

bool isTrue(JSCValue* value) {
    return value != nullptr && jsc_value_is_boolean(value) && jsc_value_to_boolean(value);
}

void replyDropped(const std::string& name) {
    Log::write("manage", "답 버림 " + name + " — 그 호출을 한 화면이 닫혔거나 다시 읽혔다");
}

}  // namespace

std::shared_ptr<ManageWindow> ManageWindow::make(std::shared_ptr<ManageBridge> bridge, Theme theme,
                                                 Options options) {
    return std::shared_ptr<ManageWindow>(
        new ManageWindow(std::move(bridge), std::move(theme), std::move(options)));
}

ManageWindow::ManageWindow(std::shared_ptr<ManageBridge> bridge, Theme theme, Options options)
    : bridge_(std::move(bridge)), theme_(std::move(theme)), options_(std::move(options)) {
    if (options_.page) {
        gchar* uri = g_filename_to_uri(options_.page->c_str(), nullptr, nullptr);
        if (uri != nullptr) {
            pageURI_ = uri;
            g_free(uri);
        }
    }
}

ManageWindow::~ManageWindow() {
    if (window_ != nullptr || webView_ != nullptr) {
        release();
    }
}

void ManageWindow::show() {
    if (window_ != nullptr) {
        GtkAlert::present(window_);
        return;
    }
    if (building_) {
        return;  // shown once it is built
    }
    if (!options_.main) {
        pageText_ = options_.page ? fileio::readFile(*options_.page) : std::nullopt;
        buildView();
        buildWindow();
        GtkAlert::present(window_);
        return;
    }
    building_ = true;
    if (!options_.page) {
        pageText_.reset();
        buildInSteps();
        return;
    }
    // The page's file is read off the main loop, which a busy disk would hold for tens of
    // milliseconds.
    ThreadPool::global().post(
        [weak = weak_from_this(), page = *options_.page, main = options_.main] {
            main->post([weak, text = fileio::readFile(page)]() mutable {
                if (auto self = weak.lock()) {
                    self->pageText_ = std::move(text);
                    self->buildInSteps();
                }
            });
        });
}

void ManageWindow::buildInSteps() {
    // The first web view of the program starts the web engine: the engine, the view and the
    // window are built on separate turns of the main loop, so that none holds it up for long.
    std::weak_ptr<ManageWindow> weak = weak_from_this();
    auto steps = WebContext::startSteps();
    steps.push_back([weak] {
        if (auto self = weak.lock()) {
            self->buildView();
        }
    });
    MainSteps::run(options_.main, std::move(steps), [weak] {
        if (auto self = weak.lock()) {
            self->buildWindow();
            self->building_ = false;
            GtkAlert::present(self->window_);
        }
    });
}

void ManageWindow::buildView() {
    content_ = webkit_user_content_manager_new();
    g_signal_connect(content_, "script-message-received::bridge", G_CALLBACK(onScriptMessage),
                     this);
    webkit_user_content_manager_register_script_message_handler(content_, "bridge");
    // The page speaks of this platform's keys and words already: the overlay object is defined
    // but rewrites nothing.
    nonce_ = BridgeShim::makeNonce();
    addScript(content_, BridgeShim::script(nonce_));
    addScript(content_, MacOverlay::linuxScript());
    addScript(content_, MacOverlay::themeSeed(theme_()));

    WebKitSettings* settings = WebContext::settings();
    webkit_settings_set_enable_developer_extras(settings, options_.inspector);

    webView_ = WebContext::webView(content_, settings);
    g_object_unref(settings);
    // The window's background shows until the page paints.
    const GdkRGBA clear = {0, 0, 0, 0};
    webkit_web_view_set_background_color(webView_, &clear);
    g_signal_connect(webView_, "decide-policy", G_CALLBACK(onDecidePolicy), this);
    g_signal_connect(webView_, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(webView_, "load-failed", G_CALLBACK(onLoadFailed), this);
    g_signal_connect(webView_, "drag-data-received", G_CALLBACK(onDragDataReceived), this);
    g_signal_connect(webView_, "web-process-terminated", G_CALLBACK(onProcessTerminated), this);
    dropHook_ = g_signal_add_emission_hook(g_signal_lookup("drag-drop", GTK_TYPE_WIDGET), 0,
                                           onDragDropHook, this, nullptr);
}

void ManageWindow::buildWindow() {
    const ManageLayout::WindowSize size = ManageLayout::windowSize(visibleScreen());
    window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_window_set_title(window_, title);
    gtk_window_set_default_size(window_, static_cast<int>(size.initial.width),
                                static_cast<int>(size.initial.height));
    GdkGeometry hints = {};
    hints.min_width = static_cast<int>(size.minimum.width);
    hints.min_height = static_cast<int>(size.minimum.height);
    gtk_window_set_geometry_hints(window_, nullptr, &hints, GDK_HINT_MIN_SIZE);
    gtk_window_set_position(window_, GTK_WIN_POS_CENTER);
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(webView_));
    g_signal_connect(window_, "delete-event", G_CALLBACK(onDeleteEvent), this);
    loaded_ = false;
    loadFailed_ = false;
    ++pageLoad_;

    loadPage();
    // The window itself is mapped by the presenter, with the action's time.
    gtk_widget_show_all(GTK_WIDGET(webView_));
}

void ManageWindow::loadPage() {
    const std::optional<std::string> text = pageURI_ ? pageText_ : std::nullopt;
    if (!text) {
        Log::write("manage", "🔴 manage.html 이 번들에 없다 — 설치된 자원 폴더를 확인");
        webkit_web_view_load_html(webView_, placeholder, nullptr);
        return;
    }
    // Loaded from its text rather than its address, so that every load carries its own nonce;
    // the address stays the page's, and its own files load beside it.
    pageLoadPending_ = true;
    webkit_web_view_load_html(webView_, withNonce(*text, BridgeShim::makeNonce()).c_str(),
                              pageURI_->c_str());
}

void ManageWindow::release() {
    if (dropHook_ != 0) {
        g_signal_remove_emission_hook(g_signal_lookup("drag-drop", GTK_TYPE_WIDGET), dropHook_);
        dropHook_ = 0;
    }
    if (closeAlert_ != nullptr) {
        gtk_widget_destroy(closeAlert_);
        closeAlert_ = nullptr;
    }
    if (webView_ != nullptr) {
        webkit_user_content_manager_unregister_script_message_handler(content_, "bridge");
        g_signal_handlers_disconnect_by_data(content_, this);
        g_signal_handlers_disconnect_by_data(webView_, this);
    }
    if (content_ != nullptr) {
        g_object_unref(content_);
        content_ = nullptr;
    }
    if (webView_ != nullptr && window_ == nullptr) {
        // Let go before it was placed in a window.
        g_object_ref_sink(webView_);
        gtk_widget_destroy(GTK_WIDGET(webView_));
        g_object_unref(webView_);
    }
    webView_ = nullptr;
    loaded_ = false;
    pageLoadPending_ = false;
    ++pageLoad_;
    closeAttempt_.reset();
    dragContext_.set(nullptr);
    dragFiles_.reset();
    dropContext_.set(nullptr);
    if (window_ != nullptr) {
        g_signal_handlers_disconnect_by_data(window_, this);
        gtk_widget_destroy(GTK_WIDGET(window_));
        window_ = nullptr;
    }
}

void ManageWindow::evaluate(const std::string& script,
                            std::function<void(JSCValue*, const GError*)> done) {
    auto* evaluation = new Evaluation{std::move(done)};
    webkit_web_view_evaluate_javascript(webView_, script.c_str(), -1, nullptr, nullptr, nullptr,
                                        evaluated, evaluation);
}

void ManageWindow::run(std::string script, Completion<void(std::optional<Json>)> completion) {
    if (webView_ == nullptr || !loaded_) {
        completion(std::nullopt);
        return;
    }
    auto shared = std::make_shared<Completion<void(std::optional<Json>)>>(std::move(completion));
    evaluate(script, [shared](JSCValue* value, const GError* error) {
        if (error != nullptr) {
            Log::write("manage", "화면에 글 실행 실패 " + GlibErrors::describe(error));
            (*shared)(std::nullopt);
            return;
        }
        (*shared)(ScriptValues::json(value));
    });
}

void ManageWindow::push(const std::string& name, std::string script) {
    if (webView_ == nullptr || !loaded_) {
        return;
    }
    evaluate(script, [name](JSCValue* value, const GError* error) {
        std::string line = "화면에 알림 " + name + " applied=" + (isTrue(value) ? "true" : "false");
        if (error != nullptr) {
            line += " error=" + GlibErrors::describe(error);
        }
        Log::write("manage", line);
    });
}

// ---- page calls ----

void ManageWindow::onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                   gpointer self) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    G_GNUC_END_IGNORE_DEPRECATIONS
    static_cast<ManageWindow*>(self)->receive(ScriptValues::jsonText(value));
}

void ManageWindow::receive(const std::optional<std::string>& text) {
    const ManageBridge::Incoming incoming =
        text ? ManageBridge::read(*text) : ManageBridge::Incoming{};
    const gchar* uri = webView_ != nullptr ? webkit_web_view_get_uri(webView_) : nullptr;
    const std::optional<std::string> current =
        uri != nullptr ? std::optional<std::string>(uri) : std::nullopt;
    if (!incoming.nonce && !incoming.message) {
        // Not a value the web view could hand over as JSON, or nothing of a call in it.
        Log::write("manage", "🔴 다리 메시지 버림 — 읽을 수 없는 메시지 kind=" +
                                 ManageNavigation::kind(current));
        return;
    }
    // The web view does not say which frame posted: only the shim of the page's main frame
    // knows the nonce.
    const bool mainFrame = incoming.nonce && *incoming.nonce == nonce_;
    if (!ManageNavigation::trusts(current, pageURI_, mainFrame)) {
        Log::write("manage", std::string("🔴 다리 메시지 버림 — 관리 화면이 아닌 곳 main_frame=") +
                                 (mainFrame ? "true" : "false") +
                                 " kind=" + ManageNavigation::kind(current));
        return;
    }
    if (!incoming.message) {
        return;
    }
    const std::string name = incoming.message->name;
    const std::uint64_t load = pageLoad_;
    std::weak_ptr<ManageWindow> weak = weak_from_this();
    bridge_->take(*incoming.message, [weak, name, load](std::string script) {
        auto self = weak.lock();
        // The page that called is gone: the window closed, or the page was loaded again and
        // numbers its calls afresh.
        if (!self || self->webView_ == nullptr || self->pageLoad_ != load) {
            replyDropped(name);
            return;
        }
        self->evaluate(script, [name](JSCValue* value, const GError* error) {
            if (error != nullptr) {
                Log::write("manage", "resolve 실패 " + name + " " + GlibErrors::describe(error));
            } else if (!isTrue(value)) {
                replyDropped(name);
            }
        });
    });
}

// ---- navigation and loading ----

gboolean ManageWindow::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                      WebKitPolicyDecisionType type, gpointer self) {
    return static_cast<ManageWindow*>(self)->decidePolicy(decision, type) ? TRUE : FALSE;
}

bool ManageWindow::decidePolicy(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
        type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
        return false;  // responses take their default course
    }
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const gchar* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const std::optional<std::string> target =
        uri != nullptr ? std::optional<std::string>(uri) : std::nullopt;
    const WebKitNavigationType navigation = webkit_navigation_action_get_navigation_type(action);
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && pageURI_ &&
        ManageNavigation::isPage(target, *pageURI_)) {
        if (pageLoadPending_) {
            pageLoadPending_ = false;
            webkit_policy_decision_use(decision);
            return true;
        }
        // A reload, or any other way back to the page, would read the file as it lies, without
        // a nonce: the page is loaded again the one way that gives it one.
        if (navigation == WEBKIT_NAVIGATION_TYPE_RELOAD || target->find('#') == std::string::npos) {
            Log::write("manage", "관리 화면 다시 불러옴 type=" +
                                     std::to_string(static_cast<int>(navigation)));
            webkit_policy_decision_ignore(decision);
            g_idle_add_full(
                G_PRIORITY_DEFAULT,
                +[](gpointer data) -> gboolean {
                    auto* weak = static_cast<std::weak_ptr<ManageWindow>*>(data);
                    if (auto self = weak->lock(); self && self->webView_ != nullptr) {
                        self->loadPage();
                    }
                    return G_SOURCE_REMOVE;
                },
                new std::weak_ptr<ManageWindow>(weak_from_this()),
                +[](gpointer data) { delete static_cast<std::weak_ptr<ManageWindow>*>(data); });
            return true;
        }
    }
    const ManageNavigation::Verdict verdict = ManageNavigation::decide(target, pageURI_);
    if (verdict.allow) {
        webkit_policy_decision_use(decision);
        return true;
    }
    // A new-window request has no target frame of this view.
    const bool mainFrame = type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION;
    Log::write("manage", "🔴 이동 막음 kind=" + verdict.kind +
                             " type=" + std::to_string(static_cast<int>(navigation)) +
                             " main_frame=" + (mainFrame ? "true" : "false"));
    webkit_policy_decision_ignore(decision);
    if (options_.opener &&
        ManageNavigation::opensOutside(target, navigation == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED)) {
        options_.opener->open(*target);
    }
    return true;
}

void ManageWindow::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
    auto* window = static_cast<ManageWindow*>(self);
    if (event == WEBKIT_LOAD_STARTED) {
        window->loadFailed_ = false;
    } else if (event == WEBKIT_LOAD_COMMITTED) {
        ++window->pageLoad_;
    } else if (event == WEBKIT_LOAD_FINISHED && !window->loadFailed_) {
        window->finishedLoading();
    }
}

gboolean ManageWindow::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error,
                                    gpointer self) {
    static_cast<ManageWindow*>(self)->loadFailed_ = true;
    Log::write("manage", "관리 화면 로드 실패 " + GlibErrors::describe(error));
    return FALSE;
}

void ManageWindow::onProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                       gpointer self) {
    // The page is gone until the window is opened again; nothing is run in it meanwhile.
    static_cast<ManageWindow*>(self)->loaded_ = false;
    Log::write("manage", "🔴 관리 화면의 웹 프로세스가 끝남 reason=" +
                             std::to_string(static_cast<int>(reason)));
}

void ManageWindow::finishedLoading() {
    const ThemeMode mode = theme_();
    evaluate(MacOverlay::themeScript(mode), [](JSCValue*, const GError*) {});
    evaluate("window.dispatchEvent(new Event('pywebviewready'));", [](JSCValue*, const GError*) {});
    loaded_ = true;
    Log::write("manage", "관리 화면 로드됨 · 맥 덧씌움 문구 " +
                             std::to_string(MacOverlay::linuxPhraseCount) + "개 · 키 " +
                             std::to_string(MacOverlay::linuxKeyCount) +
                             "개 · theme=" + toString(mode));
}

// ---- closing ----

gboolean ManageWindow::onDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<ManageWindow*>(self)->guardClose();
    return TRUE;  // the guard closes the window itself when it may
}

void ManageWindow::guardClose() {
    if (webView_ == nullptr || !loaded_) {
        release();
        Log::write("manage", "관리 창 닫힘 — 웹뷰 해제, 감지는 유지");
        onClose();
        return;
    }
    if (closeAlert_ != nullptr) {
        GtkAlert::present(GTK_WINDOW(closeAlert_), GtkAlert::Front::question);
        return;
    }
    if (closeAttempt_ && !*closeAttempt_) {
        return;  // the page is being asked already
    }
    auto decided = std::make_shared<bool>(false);
    closeAttempt_ = decided;
    std::weak_ptr<ManageWindow> weak = weak_from_this();
    auto decide = [weak, decided](bool dirty) {
        auto self = weak.lock();
        if (*decided || !self || self->window_ == nullptr) {
            return;
        }
        *decided = true;
        if (dirty) {
            self->askAboutEdits();
        } else {
            self->release();
            Log::write("manage", "관리 창 닫힘 — 웹뷰 해제, 감지는 유지");
            self->onClose();
        }
    };
    evaluate(MacOverlay::dirtyScript(),
             [decide](JSCValue* value, const GError*) { decide(isTrue(value)); });
    options_.main->postAfter(closeGuardSeconds, [decide] { decide(false); });
}

void ManageWindow::askAboutEdits() {
    GtkWidget* alert =
        gtk_message_dialog_new(window_, GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE,
                               "%s", "저장하지 않은 변경 내용을 버릴까요?");
    gtk_message_dialog_format_secondary_text(
        GTK_MESSAGE_DIALOG(alert), "%s",
        "아직 저장하지 않은 편집이 있습니다. 창을 닫으면 사라집니다.");
    GtkWordWrap::wrapWithin(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(alert)));
    gtk_dialog_add_button(GTK_DIALOG(alert), "계속 편집", 1);
    gtk_dialog_add_button(GTK_DIALOG(alert), "버리고 닫기", 2);
    gtk_dialog_set_default_response(GTK_DIALOG(alert), 1);
    closeAlert_ = alert;
    Log::write("manage", "닫기 전 확인 — 저장하지 않은 편집 있음");
    struct Context {
        std::weak_ptr<ManageWindow> window;
    };
    g_signal_connect_data(
        alert, "response", G_CALLBACK(+[](GtkDialog* dialog, gint response, gpointer data) {
            auto self = static_cast<Context*>(data)->window.lock();
            const bool discard = response == 2;
            Log::write("manage",
                       std::string("닫기 전 확인 — ") + (discard ? "버리고 닫기" : "계속 편집"));
            if (self && self->closeAlert_ == GTK_WIDGET(dialog)) {
                self->closeAlert_ = nullptr;
            }
            gtk_widget_destroy(GTK_WIDGET(dialog));
            if (discard && self && self->window_ != nullptr) {
                self->release();
                Log::write("manage", "관리 창 닫힘 — 웹뷰 해제, 감지는 유지");
                self->onClose();
            }
        }),
        new Context{weak_from_this()},
        +[](gpointer data, GClosure*) { delete static_cast<Context*>(data); }, GConnectFlags(0));
    // The page may have answered late, and the user gone elsewhere meanwhile.
    GtkAlert::present(GTK_WINDOW(alert), GtkAlert::Front::question);
}

// ---- dropped files ----

void ManageWindow::onDragDataReceived(GtkWidget*, GdkDragContext* context, gint, gint,
                                      GtkSelectionData* data, guint, guint, gpointer self) {
    static_cast<ManageWindow*>(self)->dataReceived(context, data);
}

void ManageWindow::dataReceived(GdkDragContext* context, GtkSelectionData* data) {
    gchar** uris = gtk_selection_data_get_uris(data);
    if (uris == nullptr) {
        return;  // another target of the same drag
    }
    std::vector<std::string> files;
    for (gchar** uri = uris; *uri != nullptr; ++uri) {
        GFile* file = g_file_new_for_uri(*uri);
        if (g_file_has_uri_scheme(file, "file")) {
            gchar* standard = g_file_get_uri(file);
            files.emplace_back(standard);
            g_free(standard);
        }
        g_object_unref(file);
    }
    g_strfreev(uris);
    if (dropContext_.is(context)) {
        // This drag was dropped before its files came.
        dropContext_.set(nullptr);
        dragContext_.set(nullptr);
        dragFiles_.reset();
        handOver(std::move(files));
        return;
    }
    dragContext_.set(context);
    dragFiles_ = std::move(files);
}

gboolean ManageWindow::onDragDropHook(GSignalInvocationHint*, guint count, const GValue* values,
                                      gpointer self) {
    auto* window = static_cast<ManageWindow*>(self);
    if (count >= 2 && window->webView_ != nullptr &&
        g_value_get_object(&values[0]) == static_cast<gpointer>(window->webView_)) {
        // A drop is the user's action: what it leads to opens with its time.
        UserActionTime::note(gtk_get_current_event_time());
        window->dropped(GDK_DRAG_CONTEXT(g_value_get_object(&values[1])));
    }
    return TRUE;  // keep the hook
}

void ManageWindow::dropped(GdkDragContext* context) {
    // The page's own drop handling runs as usual; the files go to the listeners as well. The
    // web view asked for the data when the drag entered, so it is normally here already.
    if (dragFiles_ && dragContext_.is(context)) {
        dragContext_.set(nullptr);
        handOver(std::move(*dragFiles_));
        dragFiles_.reset();
        return;
    }
    // The files may still come for this drop, and for this drop only: a drop without files
    // leaves nothing behind for a later drag that merely passes over the page.
    dragContext_.set(nullptr);
    dragFiles_.reset();
    dropContext_.set(context);
}

bool ManageWindow::Watched::is(gpointer object) {
    gpointer now = g_weak_ref_get(&ref_);
    const bool same = now != nullptr && now == object;
    if (now != nullptr) {
        g_object_unref(now);
    }
    return same;
}

void ManageWindow::handOver(std::vector<std::string> uris) {
    if (uris.empty()) {
        return;
    }
    std::weak_ptr<ManageWindow> weak = weak_from_this();
    options_.main->post([weak, uris = std::move(uris)] {
        if (auto self = weak.lock()) {
            Log::write("manage", "파일 놓임 files=" + std::to_string(uris.size()));
            self->onFilesDropped(uris);
        }
    });
}

}  // namespace parlendo
