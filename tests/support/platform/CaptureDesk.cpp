#include "CaptureDesk.h"

#include "DesktopSession.h"
#include "FakeAuthAccess.h"
#include "capture/AtspiSelectionReader.h"
#include "capture/SyntheticCopyLedger.h"
#include "foundation/Json.h"
#include "popups/GdkPopupScreens.h"
#include "popups/GtkPopupCard.h"
#include "server/CurlServerTransport.h"
#include "server/ServerClient.h"

#include <atspi/atspi.h>
#include <sys/time.h>

#include <chrono>
#include <optional>

namespace parlendo::testing {

namespace {

constexpr unsigned leftAlt = 64;
constexpr unsigned leftControl = 37;
constexpr unsigned leftShift = 50;

Json setting(const char* id, const char* name, std::vector<std::string> contents, bool save,
             int position) {
    return Json{{"id", id},
                {"name", name},
                {"enabled", true},
                {"save", save},
                {"position", position},
                {"spec", {{"contents", contents}, {"options", {{"duration", 2}}}}}};
}

std::string dictionaryAnswer(const StubRequest& request) {
    const auto body = json::parse(request.body);
    const std::string word = body ? json::string(*body, "p_lower").value_or("") : "";
    if (word != CaptureDesk::knownWord) {
        return Json{{"status", "not_found"}, {"word", word}}.dump();
    }
    return Json{{"status", "ok"},
                {"word", word},
                {"lemma", word},
                {"phonetic", "ˌsɛrənˈdɪpɪti"},
                {"senses", Json::array({Json{{"korean", "뜻밖의 행운"},
                                             {"definition", "the finding of good things by chance"},
                                             {"example", "It was pure serendipity that we met."},
                                             {"pos", "noun"}},
                                        Json{{"korean", "우연한 발견"},
                                             {"definition", "a happy discovery made by accident"},
                                             {"example", ""},
                                             {"pos", "noun"}}})}}
        .dump();
}

// An insert answered with the row it sent.
std::string echoRow(const StubRequest& request) {
    return "[" + request.body + "]";
}

}  // namespace

CaptureDesk::CaptureDesk() : CaptureDesk(Options{}) {}

CaptureDesk::CaptureDesk(Options options) {
    answerLikeTheServer(options.save);
    capture = DesktopCapture::build(main, SystemClock::shared());
    if (!capture) {
        return;
    }
    auto curl = std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
    auto transport = std::make_shared<CurlServerTransport>(stub.baseURL(), curl, std::nullopt,
                                                           "parlendo-mac/0.2.0");
    auto gate = std::make_shared<ServerGate>();
    auto net = std::make_shared<NetState>();
    auto client =
        std::make_shared<ServerClient>(transport, std::make_shared<FakeAuthAccess>(), "anon-key",
                                       ServerClient::deliverOn(main), true, gate, net);

    env = std::make_shared<AppEnvironment>();
    env->appVersion = "0.2.0";
    env->session = session;
    env->server = client;
    env->client = client;
    env->titleClient = client;
    env->gate = gate;
    env->net = net;
    env->detect = std::make_shared<DetectStore>();
    env->input =
        std::make_shared<InputHub>(capture->input, std::make_shared<SyntheticCopyLedger>());
    env->accountScope = std::make_shared<AccountScope>();
    env->shutdown = std::make_shared<ShutdownGate>();
    env->unsaved = std::make_shared<UnsavedCounter>();
    env->popupDefaults = DefaultPopupSeeder::make(client, session, [](const std::string&) {});
    env->main = main;

    popup = MeaningPopup::make(main, SystemClock::shared(), std::make_shared<GdkPopupScreens>(),
                               GtkPopupCard::factory());
    std::shared_ptr<PopupPresenting> presenter = popup;
    if (options.wrap) {
        presenter = options.wrap(presenter);
    }
    coordinator = CaptureCoordinator::make(
        env, capture->desktop(presenter, [popup = std::weak_ptr<MeaningPopup>(popup)](
                                             const std::string& text, double seconds) {
            if (auto shown = popup.lock()) {
                shown->show(text, seconds);
            }
        }));
}

CaptureDesk::~CaptureDesk() {
    coordinator.reset();
    popup.reset();
    // Let the card windows go before the next test looks at the screen.
    DesktopSession::pumpFor(0.1);
}

void CaptureDesk::answerLikeTheServer(bool save) {
    stub.on(
        "GET", "/rest/v1/assistants",
        StubAnswer::json(
            200, Json::array({setting("a-1", "단어", {"phonetic", "korean", "definition"}, save, 0),
                              setting("a-2", "뜻만", {"korean"}, false, 1),
                              setting("a-3", "문장", {"translation"}, save, 2)})
                     .dump()));
    stub.on("POST", "/rest/v1/rpc/dict_lookup", StubAnswer::from(200, dictionaryAnswer));
    stub.on("POST", "/functions/v1/translate-sentence",
            StubAnswer::json(200, Json{{"translated_text", translation}, {"target", "ko"}}.dump()));
    stub.on("GET", "/rest/v1/sources", StubAnswer::json(200, "[]"));
    stub.on("POST", "/rest/v1/sources", StubAnswer::from(201, echoRow));
    stub.on("PATCH", "/rest/v1/sources", StubAnswer::json(204, ""));
    stub.on("POST", "/rest/v1/rpc/save_word_snapshot_v1",
            StubAnswer::json(200, R"({"status":"ok","word_id":"w-1","snapshot_state":"inserted",)"
                                  R"("created":true,"sense_count":2})"));
    stub.on("POST", "/rest/v1/sentences", StubAnswer::from(201, echoRow));
    stub.on("GET", "/rest/v1/title_vectors", StubAnswer::json(200, "[]"));
}

bool CaptureDesk::start() {
    if (!ready()) {
        return false;
    }
    coordinator->start();
    env->input->start();
    env->detect->write([](DetectState& state) {
        state.permissionGranted = true;
        state.loggedIn = true;
        state.enabled = true;
    });
    const auto settings = coordinator->popupSettings();
    return DesktopSession::pumpUntil([&] { return settings->isLoaded(); }, 10);
}

bool CaptureDesk::warmUp() {
    DesktopSession::tap({leftShift});
    return DesktopSession::pumpUntil([&] { return readsSelection(); }, 10);
}

bool CaptureDesk::readsSelection() {
    const auto app = capture->selection->windows->frontmost();
    if (!app) {
        return false;
    }
    auto reader = std::make_shared<AtspiSelectionReader>(capture->selection, *app);
    auto read = std::make_shared<std::optional<bool>>();
    capture->fetchQueue->post([reader, read, main = main] {
        const bool found = reader->readDirect().has_value();
        main->post([read, found] { *read = found; });
    });
    DesktopSession::pumpUntil([&] { return read->has_value(); }, 10);
    return read->value_or(false);
}

std::optional<double> CaptureDesk::knownFor(int pid) {
    auto known = std::make_shared<std::optional<std::optional<double>>>();
    capture->fetchQueue->post([pid, known, main = main] {
        std::optional<double> seconds;
        AtspiAccessible* desktop = atspi_get_desktop(0);
        const int count = desktop ? atspi_accessible_get_child_count(desktop, nullptr) : 0;
        for (int i = 0; i < count && !seconds; ++i) {
            AtspiAccessible* child = atspi_accessible_get_child_at_index(desktop, i, nullptr);
            if (child == nullptr) {
                continue;
            }
            const AtspiApplication* app = ATSPI_OBJECT(child)->app;
            if (app != nullptr &&
                atspi_accessible_get_process_id(child, nullptr) == static_cast<guint>(pid)) {
                // When the client met the application is what it reckons the start-up from.
                timeval now{};
                gettimeofday(&now, nullptr);
                seconds = static_cast<double>(now.tv_sec - app->time_added.tv_sec) +
                          static_cast<double>(now.tv_usec - app->time_added.tv_usec) / 1e6;
            }
            g_object_unref(child);
        }
        if (desktop != nullptr) {
            g_object_unref(desktop);
        }
        main->post([known, seconds] { *known = seconds; });
    });
    DesktopSession::pumpUntil([&] { return known->has_value(); }, 10);
    return known->value_or(std::nullopt);
}

void CaptureDesk::chord() {
    DesktopSession::key(leftAlt, true);
    DesktopSession::key(leftControl, true);
    DesktopSession::key(leftControl, false);
    DesktopSession::key(leftAlt, false);
}

bool CaptureDesk::waitUntilIdle(double seconds) {
    const auto controller = coordinator->controller();
    // The chord reaches the controller through the input thread first.
    DesktopSession::pumpUntil([&] { return controller->fetching(); }, 1.0);
    return DesktopSession::pumpUntil([&] { return !controller->fetching(); }, seconds);
}

std::vector<StubRequest> CaptureDesk::requests(const std::string& method,
                                               const std::string& path) const {
    std::vector<StubRequest> out;
    for (auto& request : stub.requests()) {
        if (request.method == method && request.path == path) {
            out.push_back(std::move(request));
        }
    }
    return out;
}

struct MainLoopWatch::State {
    std::optional<std::chrono::steady_clock::time_point> last;
    double longest = 0;
};

MainLoopWatch::MainLoopWatch() : state_(std::make_unique<State>()) {
    source_ = g_timeout_add(
        5,
        [](gpointer data) -> gboolean {
            auto* state = static_cast<State*>(data);
            const auto now = std::chrono::steady_clock::now();
            if (state->last) {
                state->longest = std::max(
                    state->longest, std::chrono::duration<double>(now - *state->last).count());
            }
            state->last = now;
            return G_SOURCE_CONTINUE;
        },
        state_.get());
}

MainLoopWatch::~MainLoopWatch() {
    g_source_remove(source_);
}

double MainLoopWatch::longestGap() const {
    return state_->longest;
}

}  // namespace parlendo::testing
