#include "PageRig.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "account/SessionRoutes.h"
#include "capture/DetectRoutes.h"
#include "manage/MacOverlay.h"
#include "manage/ManageWindow.h"
#include "projects/DriveLocalStore.h"
#include "projects/DriveRoutes.h"
#include "projects/FileBookmarks.h"
#include "projects/PageCopyStore.h"
#include "projects/PopplerExtractor.h"
#include "projects/PopplerThumbnailer.h"

namespace parlendo::testing {

namespace {

// The project feature's screen: the picker answers what the test chose; progress and opening go
// through the real link to the page and the recording opener.
class TestScreen final : public DriveScreen {
  public:
    TestScreen(std::shared_ptr<ManageScreenLink> link,
               std::function<std::optional<std::vector<std::string>>()> picked)
        : link_(std::move(link)), picked_(std::move(picked)) {}
    void pickPDFs(bool, Completion<void(std::optional<std::vector<std::string>>)> done) override {
        done(picked_());
    }
    void uploadProgress(int done, int total, int index, int count) override {
        link_->uploadProgress(done, total, index, count);
    }
    void open(const std::string& path, std::function<void(bool)> done) override {
        link_->open(path, std::move(done));
    }

  private:
    std::shared_ptr<ManageScreenLink> link_;
    std::function<std::optional<std::vector<std::string>>()> picked_;
};

// The scripted server, answered on a worker thread; completions come back on the main executor.
class AsyncServer final : public DetailedServerCalling {
  public:
    AsyncServer(std::shared_ptr<FakeServerCalling> server, ExecutorPtr main)
        : server_(std::move(server)), main_(std::move(main)), worker_([this] { work(); }) {}
    ~AsyncServer() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        worker_.join();
    }

    using ServerCalling::call;
    void call(std::string path, std::string method, std::optional<Json> json, HttpHeaders headers,
              double timeout, Completion<void(CallResult)> completion) override {
        callDetailed(std::move(path), std::move(method), std::move(json), std::move(headers),
                     timeout, [done = std::move(completion)](DetailedCallResult r) mutable {
                         if (r) {
                             done(std::move(*r));
                         } else {
                             done(fail(r.error().failure));
                         }
                     });
    }
    void callDetailed(std::string path, std::string method, std::optional<Json> json,
                      HttpHeaders headers, double timeout,
                      Completion<void(DetailedCallResult)> completion) override {
        auto done = std::make_shared<Completion<void(DetailedCallResult)>>(std::move(completion));
        std::lock_guard lock(mutex_);
        queue_.push_back([=, this]() mutable {
            server_->callDetailed(
                path, method, json, headers, timeout, [done, main = main_](DetailedCallResult r) {
                    main->post([done, r = std::move(r)]() mutable { (*done)(std::move(r)); });
                });
        });
        wake_.notify_one();
    }

  private:
    void work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
                if (queue_.empty()) {
                    return;
                }
                job = std::move(queue_.front());
                queue_.pop_front();
            }
            job();
        }
    }

    std::shared_ptr<FakeServerCalling> server_;
    ExecutorPtr main_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::thread worker_;
};

std::string pathOf(const std::string& target) {
    return target.substr(0, target.find('?'));
}

std::string quote(const std::string& text) {
    return Json(text).dump();
}

}  // namespace

PageRig::PageRig(Options options) {
    ensureDesktop();
    if (!options.signedIn) {
        session->setUser(std::nullopt);
    }
    detect->write([&](DetectState& state) {
        state.permissionGranted = true;
        state.loggedIn = options.signedIn;
    });
    server->respondWith([this](const FakeServerCalling::Call& call) { return answer(call); });
    backend_ = options.answerOffMainThread
                   ? std::static_pointer_cast<DetailedServerCalling>(
                         std::make_shared<AsyncServer>(server, main))
                   : std::static_pointer_cast<DetailedServerCalling>(server);

    auto local = std::make_shared<DriveLocalStore>(dir.path());
    auto copies = std::make_shared<PageCopyStore>(dir.path());
    auto links = std::make_shared<FileBookmarks>(dir.path() / "trash");
    driveService_ = std::make_shared<DriveService>(
        backend_, session, local, copies, links, std::make_shared<PopplerExtractor>(), std::nullopt,
        DriveService::Runtime{work, work, SystemClock::shared()});
    thumbnails_ = std::make_shared<DriveThumbnails>(
        driveService_, copies, session, std::make_shared<PopplerThumbnailer>(),
        DriveThumbnails::maxPDFBytes, work, SystemClock::shared());

    ManageServices services;
    services.server = backend_;
    services.client = backend_;
    services.auth = session;
    services.appVersion = "0.2.0";
    services.themeMode = [store = theme] {
        return store->mode();
    };
    services.observeTheme = [store = theme](std::function<void(ThemeMode)> observer) {
        store->observe([observer](ThemeMode mode, ThemeStore::Source) { observer(mode); });
    };
    services.theme = theme;
    services.manageScreen = port_;
    services.accountScope = scope_;
    services.detect = detect;
    services.main = main;
    services.secrets = secrets;
    services.keychain = work;
    services.draftTransport = draft;
    services.opener = opener;
    services.resources = resourcesFolder();
    services.page = resourcesFolder() / "manage.html";
    services.makeWindow = &ManageWindow::make;
    manage = ManageCoordinator::make(std::move(services));
    link_ = std::make_shared<ManageScreenLink>(port_, opener);
    link_->listenForDrops();
    manage->allRoutes = [this] {
        BridgeRouter::Groups groups;
        for (auto& group : extraGroups()) {
            groups.push_back(std::make_shared<RecordingRoutes>(group, calls_));
        }
        return groups;
    };
    manage->start();
}

PageRig::~PageRig() {
    manage.reset();
    until([] { return true; }, 0.1);
    backend_.reset();
}

BridgeRouter::Groups PageRig::extraGroups() {
    BridgeRouter::Groups groups;
    // Capture: detection.
    groups.push_back(
        std::make_shared<DetectRoutes>(detect->control(), 4242, [this] { return notice; }));
    // AI talk: projects.
    auto screen = std::make_shared<TestScreen>(link_, [this] { return picked; });
    groups.push_back(std::make_shared<DriveRoutes>(
        driveService_, screen,
        [this] { return detect->control().state().manageStatus(4242, std::nullopt); },
        [this](Completion<void(std::string)> done) { done(mathScript); }, thumbnails_, main));
    // Manage: the word book's groups and the module's own.
    for (auto& group : manage->bridgeRoutes()) {
        groups.push_back(group);
    }
    // Account: the session calls over the fake account, and the account calls as their service
    // answers them.
    groups.push_back(std::make_shared<SessionRoutes>(
        account, std::make_shared<FakeProfiles>(), detect->control(),
        SessionRoutes::CleanupOffer{[this] { return cleanupOffered; },
                                    [] {
                                    }}));
    auto accountCalls = std::make_shared<TestRoutes>();
    accountCalls->serve(
        "delete_account", [this](const BridgeArgs& args, Completion<void(BridgeReply)> done) {
            const std::string password = args.string(0);
            if (password.empty() || password != "right") {
                done(BridgeReply::authScreenFailed(
                    password.empty() ? "ACCOUNT_DELETE_FAILED" : "ACCOUNT_DELETE_WRONG_PASSWORD"));
                return;
            }
            session->setUser(std::nullopt);
            done(BridgeReply::ok({{"deleted", true},
                                  {"inferred", false},
                                  {"local_files_removed", true},
                                  {"credentials_absent_verified", true},
                                  {"markers_removed", true},
                                  {"optional_key_removed", true},
                                  {"runtime_files_removed", 0},
                                  {"work_stopped", true},
                                  {"operations_drained", true}}));
        });
    accountCalls->answer("forget_deleted_account",
                         BridgeReply::authScreenFailed("ACCOUNT_CLEANUP_NOT_OFFERED"));
    accountCalls->answer("resend_confirmation", BridgeReply::ok({{"sent", true}}));
    accountCalls->serve("reset_local_state",
                        [this](const BridgeArgs&, Completion<void(BridgeReply)> done) {
                            session->setUser(std::nullopt);
                            done(BridgeReply::ok({{"reset", true},
                                                  {"credentials_absent_verified", true},
                                                  {"markers_removed", true},
                                                  {"optional_key_removed", true},
                                                  {"runtime_files_removed", 0},
                                                  {"work_stopped", true},
                                                  {"operations_drained", true}}));
                        });
    groups.push_back(accountCalls);
    return groups;
}

DetailedCallResult PageRig::answer(const FakeServerCalling::Call& call) {
    if (intercept) {
        if (auto answered = intercept(call)) {
            return *answered;
        }
    }
    const std::string path = pathOf(call.path);
    if (path == "/rest/v1/profiles") {
        if (call.method == "PATCH" && call.json) {
            viewSettings = call.json->value("view_settings", Json());
        }
        return Json::array({{{"view_settings", viewSettings}}}).dump();
    }
    if (path == "/rest/v1/reviews") {
        if (call.method == "POST" && call.json) {
            return Json::array({*call.json}).dump();
        }
        return std::string("[]");
    }
    if (path == "/functions/v1/send-feedback") {
        feedback.push_back(call.json.value_or(Json()));
        return std::string(R"({"status":"sent"})");
    }
    if (call.method == "DELETE" && path == "/rest/v1/assistants") {
        // The library has no deletion of rows: the deleted row is answered as the server would,
        // and stays behind in the library.
        const std::string query = call.path.substr(path.size());
        return library->call("GET", path + query + "&select=*", std::nullopt);
    }
    if (auto answered = drive->call(call.method, call.path, call.json)) {
        return *answered;
    }
    return library->call(call.method, call.path, call.json);
}

void PageRig::drop(const std::vector<std::filesystem::path>& files) {
    std::vector<std::string> uris;
    for (const auto& file : files) {
        gchar* uri = g_filename_to_uri(file.c_str(), nullptr, nullptr);
        uris.emplace_back(uri);
        g_free(uri);
    }
    for (auto& handler : port_->dropHandlers) {
        handler(uris);
    }
    until([] { return true; }, 0.05);
}

WebKitWebView* PageRig::view() const {
    return manage->windowBuilt() ? manage->window()->webView() : nullptr;
}

bool PageRig::until(const std::function<bool()>& done, double seconds) {
    return pumpUntil(
        [&] {
            while (main->runAll() + work->runAll() > 0) {
            }
            return done();
        },
        seconds);
}

bool PageRig::open() {
    manage->openManage()();
    if (!until([&] { return manage->window()->loaded(); })) {
        return false;
    }
    // The page has its frame or its sign-in screen and nothing is on its way.
    return waitFor(
               "!!window.Parlendo && !!document.querySelector('#frame:not([hidden]), "
               "#auth:not([hidden])')") &&
           idle();
}

std::optional<Json> PageRig::js(const std::string& script) {
    std::optional<std::optional<Json>> result;
    manage->window()->run(script, [&](std::optional<Json> r) { result = std::move(r); });
    until([&] { return result.has_value(); });
    return result.value_or(std::nullopt);
}

bool PageRig::waitFor(const std::string& script, double seconds) {
    const std::string test =
        "(function(){try{return !!(" + script + ");}catch(e){return false;}})()";
    // Polled at a gentle pace: a script run is work the page must make room for.
    return until(
        [&] {
            auto value = js(test);
            if (value && value->is_boolean() && value->get<bool>()) {
                return true;
            }
            pumpFor(0.01);
            return false;
        },
        seconds);
}

bool PageRig::idle(double seconds) {
    // Two quiet checks in a row: an answer may start the next call.
    int quiet = 0;
    return until(
        [&] {
            auto n = js("Parlendo.bridge.inFlight");
            quiet = n && n->is_number() && n->get<int>() == 0 ? quiet + 1 : 0;
            return quiet >= 3;
        },
        seconds);
}

bool PageRig::click(const std::string& selector) {
    auto clicked = js("(function(){var e=document.querySelector(" + quote(selector) +
                      ");if(!e)return false;e.click();return true;})()");
    idle();
    return clicked && clicked->is_boolean() && clicked->get<bool>();
}

bool PageRig::type(const std::string& selector, const std::string& value) {
    auto typed = js("(function(){var e=document.querySelector(" + quote(selector) +
                    ");if(!e)return false;e.focus();e.value=" + quote(value) +
                    ";e.dispatchEvent(new Event('input',{bubbles:true}));return true;})()");
    return typed && typed->is_boolean() && typed->get<bool>();
}

void PageRig::key(const std::string& name, const std::string& modifiers) {
    const bool ctrl = modifiers.find("ctrl") != std::string::npos;
    const bool alt = modifiers.find("alt") != std::string::npos;
    const bool shift = modifiers.find("shift") != std::string::npos;
    js("(function(){var t=document.activeElement||document.body;t.dispatchEvent(new KeyboardEvent("
       "'keydown',{key:" +
       quote(name) + ",ctrlKey:" + (ctrl ? "true" : "false") +
       ",altKey:" + (alt ? "true" : "false") + ",shiftKey:" + (shift ? "true" : "false") +
       ",bubbles:true,cancelable:true}));return true;})()");
    idle();
}

std::string PageRig::text(const std::string& selector) {
    auto value = js("(function(){var e=document.querySelector(" + quote(selector) +
                    ");return e?e.textContent:'';})()");
    return value && value->is_string() ? value->get<std::string>() : "";
}

int PageRig::count(const std::string& selector) {
    auto value = js("document.querySelectorAll(" + quote(selector) + ").length");
    return value && value->is_number() ? value->get<int>() : -1;
}

int PageRig::calls(const std::string& name) const {
    int n = 0;
    for (const auto& [called, args] : *calls_) {
        n += called == name;
    }
    return n;
}

std::optional<Json> PageRig::lastArgs(const std::string& name) const {
    for (auto it = calls_->rbegin(); it != calls_->rend(); ++it) {
        if (it->first == name) {
            return it->second;
        }
    }
    return std::nullopt;
}

void PageRig::setTheme(ThemeMode mode) {
    theme->set(toString(mode));
    waitFor("document.documentElement.getAttribute('data-app-theme') === '" +
            std::string(toString(mode)) + "' && appTheme === '" + toString(mode) + "'");
    pumpFor(0.15);
}

void PageRig::snapshot(const std::string& name) {
    idle();
    pumpFor(0.2);
    snapshotWebView(view(), "page-" + name + "-" + toString(theme->mode()));
}

void PageRig::snapshotBoth(const std::string& name) {
    const ThemeMode first = theme->mode();
    snapshot(name);
    setTheme(first == ThemeMode::light ? ThemeMode::dark : ThemeMode::light);
    snapshot(name);
    setTheme(first);
}

}  // namespace parlendo::testing
