// The answer window's page: what is drawn in it and when, the scripts run in it, where it may
// navigate, and what happens when its web process ends.
#include "aitalk/AnswerWindow.h"
#include "foundation/Log.h"

namespace parlendo {

namespace {

constexpr const char* kTag = "ai_talk";

// The evaluation of one script, carried through WebKit's asynchronous call.
struct Evaluation {
    // The value, or the error's description.
    Completion<void(std::optional<Json>, std::optional<std::string> error)> done;
};

void evaluated(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Evaluation> evaluation(static_cast<Evaluation*>(data));
    GError* error = nullptr;
    JSCValue* value =
        webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (error != nullptr) {
        std::string described = Log::describe(g_quark_to_string(error->domain), error->code);
        g_error_free(error);
        evaluation->done(std::nullopt, std::move(described));
        return;
    }
    std::optional<Json> out;
    if (value != nullptr && !jsc_value_is_undefined(value)) {
        gchar* text = jsc_value_to_json(value, 0);
        if (text != nullptr) {
            out = json::parse(text);
            g_free(text);
        }
    }
    if (value != nullptr) {
        g_object_unref(value);
    }
    evaluation->done(std::move(out), std::nullopt);
}

// Runs `script` in the view; `done` hears its value, or the error's description.
void run(WebKitWebView* view, const std::string& script,
         Completion<void(std::optional<Json>, std::optional<std::string> error)> done) {
    auto evaluation = std::make_unique<Evaluation>();
    evaluation->done = std::move(done);
    webkit_web_view_evaluate_javascript(view, script.c_str(), static_cast<gssize>(script.size()),
                                        nullptr, nullptr, nullptr, evaluated, evaluation.release());
}

}  // namespace

void AnswerWindow::render() {
    if (pageGone_) {
        return;
    }
    std::string payload = AnswerPage::payload(state_);
    if (!pageReady_) {
        waitingPayload_ = std::move(payload);
        return;
    }
    if (payload == lastSent_) {
        // The page stays as it is; the controls below it may have changed the height.
        fit(lastContentHeight_);
        return;
    }
    showPayload(payload, true);
}

void AnswerWindow::showPayload(const std::string& payload, bool logErrors) {
    std::weak_ptr<AnswerWindow> weak = weak_from_this();
    lastSent_ = payload;
    run(parts_.webView, "__answer.show(" + payload + ")",
        [weak, logErrors](std::optional<Json> value, std::optional<std::string> error) {
            if (error && logErrors) {
                Log::write(kTag, "본문 그리기 실패 " + *error);
            }
            auto self = weak.lock();
            if (!self) {
                return;
            }
            std::optional<double> height;
            if (value && value->is_number()) {
                height = value->get<double>();
            }
            self->fit(height);
            if (self->pageReady_ && self->visible_) {
                self->refreshSolids();
            }
        });
}

void AnswerWindow::evaluate(const std::string& script, Completion<void(std::optional<Json>)> done) {
    run(parts_.webView, script,
        [done = std::move(done)](std::optional<Json> value, std::optional<std::string>) mutable {
            done(std::move(value));
        });
}

void AnswerWindow::refreshSolids() {
    if (!pageReady_ || !visible_) {
        return;
    }
    std::weak_ptr<AnswerWindow> weak = weak_from_this();
    evaluate("__answer.solids()", [weak](std::optional<Json> value) {
        if (auto self = weak.lock()) {
            self->solids_ = AnswerLayout::solids(value);
        }
    });
}

void AnswerWindow::pageLoaded() {
    pageReady_ = true;
    lastSent_.reset();
    evaluate(AnswerPage::themeScript(theme_), [](std::optional<Json>) {});
    if (waitingPayload_) {
        const std::string payload = std::move(*waitingPayload_);
        waitingPayload_.reset();
        showPayload(payload, false);
    }
}

bool AnswerWindow::allowNavigation(WebKitNavigationPolicyDecision* decision) {
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(decision);
    const auto type = webkit_navigation_action_get_navigation_type(action);
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const char* uri = request != nullptr ? webkit_uri_request_get_uri(request) : nullptr;
    const bool blank = uri != nullptr && std::string(uri) == "about:blank";
    // Only the page's own load; links and scripts never take the window anywhere.
    if (type == WEBKIT_NAVIGATION_TYPE_OTHER && blank && firstLoad_) {
        firstLoad_ = false;
        return true;
    }
    return false;
}

gboolean AnswerWindow::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                      WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    switch (type) {
        case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION:
            if (self->allowNavigation(WEBKIT_NAVIGATION_POLICY_DECISION(decision))) {
                webkit_policy_decision_use(decision);
            } else {
                webkit_policy_decision_ignore(decision);
            }
            return TRUE;
        case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION:
            webkit_policy_decision_ignore(decision);
            return TRUE;
        case WEBKIT_POLICY_DECISION_TYPE_RESPONSE:
            return FALSE;
    }
    return FALSE;
}

GtkWidget* AnswerWindow::onCreate(WebKitWebView*, WebKitNavigationAction*, gpointer) {
    return nullptr;
}

void AnswerWindow::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    if (event == WEBKIT_LOAD_FINISHED) {
        static_cast<AnswerWindow*>(data)->pageLoaded();
    }
}

void AnswerWindow::onWebProcessGone(WebKitWebView*, WebKitWebProcessTerminationReason reason,
                                    gpointer data) {
    auto* self = static_cast<AnswerWindow*>(data);
    const char* why = "crashed";
    switch (reason) {
        case WEBKIT_WEB_PROCESS_CRASHED:
            break;
        case WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT:
            why = "memory_limit";
            break;
        case WEBKIT_WEB_PROCESS_TERMINATED_BY_API:
            why = "ended";
            break;
    }
    Log::write(kTag, std::string("🔴 답 창 웹 프로세스 끝남 reason=") + why + " visible=" +
                         (self->visible_ ? "true" : "false") + " — 보이던 답은 다시 보내지 않는다");
    // What the page was showing may be what ended it: it is not sent again, and the page is
    // loaded anew only for the next question.
    self->pageReady_ = false;
    self->pageGone_ = true;
    self->solids_.reset();
    self->waitingPayload_.reset();
    self->lastSent_.reset();
    self->applyControls();
}

}  // namespace parlendo
