#include <gtest/gtest.h>

#include "FakeClock.h"
#include "FakeSecretStore.h"
#include "FakeSessionStore.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "StubAuthUsers.h"
#include "StubBackend.h"
#include "TempDir.h"
#include "account/AccountCoordinator.h"
#include "account/AccountDesktop.h"
#include "account/AccountRoutes.h"
#include "auth/CurlAuthTransport.h"
#include "auth/ServerProfileStore.h"
#include "foundation/PlatformWords.h"
#include "foundation/WorkerQueue.h"
#include "server/CurlServerTransport.h"
#include "server/ServerClient.h"

#include <condition_variable>
#include <future>

namespace parlendo {
namespace {

using namespace parlendo::testing;

// What happened on the main queue, for the test thread to wait on.
class Events {
  public:
    void add(std::string event) {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(event));
        }
        changed_.notify_all();
    }
    // Waits (the network is real) until an event starting with `prefix` has come.
    bool waitFor(const std::string& prefix, double seconds = 15) {
        std::unique_lock lock(mutex_);
        const bool seen = changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] {
            return std::any_of(events_.begin(), events_.end(),
                               [&](const auto& e) { return e.rfind(prefix, 0) == 0; });
        });
        if (!seen) {
            std::string all;
            for (const auto& e : events_) {
                all += e + "\n";
            }
            ADD_FAILURE() << "no event " << prefix << " within " << seconds << " s; seen:\n" << all;
        }
        return seen;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
};

// The account module over libcurl against the loopback backend with its in-memory accounts: the
// real auth runtime, account session, profile store, server client and delete transport, with the
// windows' models driven from the test and the alerts answered by it.
class AccountOverCurlTest : public ::testing::Test {
  protected:
    AccountOverCurlTest() {
        users.serve(stub);
        auto clientInfo = "parlendo-mac/0.2.0";
        auto transport = std::make_shared<CurlAuthTransport>(CurlAuthTransport::Services{
            stub.baseURL(), "anon", curl, gate, main, watchdog, nullptr, clientInfo});
        auth = AuthRuntime::make({transport, store, nullptr, nullptr, main, background});
        session = AccountSession::make({auth, transport, store, main, background, nullptr});
        auto serverTransport =
            std::make_shared<CurlServerTransport>(stub.baseURL(), curl, std::nullopt, clientInfo);
        client = std::make_shared<ServerClient>(serverTransport, auth, "anon",
                                                ServerClient::deliverOn(main), true, gate);
        profiles = std::make_shared<ServerProfileStore>(client, auth);

        AccountCoordinator::Services services;
        services.auth = auth;
        services.account = session;
        services.profiles = profiles;
        services.detect = detect;
        services.accountScope = std::make_shared<AccountScope>();
        services.gate = gate;
        services.server = client;
        services.shutdown = std::make_shared<ShutdownGate>();
        services.main = main;
        services.notice = [this](const std::string& text, double) {
            events.add("notice " + text);
        };
        services.deleteTransport =
            AccountDesktop::deleteTransport(stub.baseURL(), curl, clientInfo);
        services.apiKey = "anon";
        services.appVersion = "0.2.0";
        services.stateRoot = state.path();
        services.localData = &localData;
        services.secrets = std::make_shared<FakeSecretStore>();
        services.alert = [this](AccountAlert alert, Completion<void(int)> answer) {
            pendingAlert = std::move(answer);
            events.add("alert " + alert.message);
        };
        services.windows.login = [this](LoginModel::Services s) {
            auto window = std::make_shared<ModelWindow>(s, events);
            login = window->model;
            return window;
        };
        services.windows.newPassword = [this](std::shared_ptr<AccountService> account,
                                              std::function<void()> onDone, ExecutorPtr queue) {
            password = NewPasswordModel::make(std::move(account), std::move(onDone), queue);
            password->view.changed = [this] {
                events.add("password " + password->message());
            };
            password->view.close = [this] {
                events.add("password closed");
            };
            events.add("password shown");
            return std::make_shared<PasswordWindow>();
        };
        onMain([&] {
            coordinator = AccountCoordinator::make(std::move(services));
            coordinator->start();
        });
    }
    ~AccountOverCurlTest() override {
        onMain([&] {
            coordinator.reset();
            login.reset();
            password.reset();
        });
    }

    struct ModelWindow final : LoginWindowPort {
        std::shared_ptr<LoginModel> model;
        Events& events;
        ModelWindow(LoginModel::Services services, Events& e)
            : model(LoginModel::make(std::move(services))), events(e) {
            model->view.changed = [this] {
                const auto& message = model->message();
                events.add(std::string(model->busy() ? "busy " : "idle ") +
                           PlatformWords::render(message.text));
            };
            model->view.close = [this] {
                events.add("login closed");
            };
        }
        void show(LoginModel::Mode mode, const std::optional<std::string>& notice) override {
            model->show(mode, notice);
            events.add("login shown " + notice.value_or(""));
        }
        void restored() override { model->restored(false); }
        void hide() override { events.add("login hidden"); }
    };
    struct PasswordWindow final : NewPasswordWindowPort {
        void show() override {}
    };

    // Runs `f` on the main queue and waits for it.
    template <class F>
    void onMain(F f) {
        std::promise<void> ran;
        main->post([&] {
            f();
            ran.set_value();
        });
        ran.get_future().wait();
    }
    void answerAlert(int button) {
        onMain([&] {
            auto answer = std::move(pendingAlert);
            answer(button);
        });
    }
    BridgeReply route(const std::string& name, Json args) {
        std::promise<BridgeReply> reply;
        onMain([&] {
            auto groups = coordinator->bridgeRoutes();
            groups[1]->routes().at(name).handler()(
                BridgeArgs::fromJson(args), [&](BridgeReply r) { reply.set_value(std::move(r)); });
        });
        auto future = reply.get_future();
        EXPECT_EQ(future.wait_for(std::chrono::seconds(40)), std::future_status::ready);
        return future.get();
    }

    LogCapture log;
    StubBackend stub;
    StubAuthUsers users;
    Events events;
    TempDir state;
    AccountLocalData localData;
    std::shared_ptr<SerialQueue> main = std::make_shared<SerialQueue>("test.main");
    std::shared_ptr<SerialQueue> background = std::make_shared<SerialQueue>("test.background");
    std::shared_ptr<FakeClock> fakeClock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> watchdog = std::make_shared<ManualExecutor>(fakeClock);
    std::shared_ptr<CurlSession> curl =
        std::make_shared<CurlSession>(ServerSessions::data(), StubBackend::caFile());
    std::shared_ptr<ServerGate> gate = std::make_shared<ServerGate>();
    std::shared_ptr<FakeSessionStore> store = std::make_shared<FakeSessionStore>();
    std::shared_ptr<DetectStore> detect = std::make_shared<DetectStore>();
    std::shared_ptr<AuthRuntime> auth;
    std::shared_ptr<AccountSession> session;
    std::shared_ptr<ServerClient> client;
    std::shared_ptr<ServerProfileStore> profiles;
    std::shared_ptr<AccountCoordinator> coordinator;
    std::shared_ptr<LoginModel> login;
    std::shared_ptr<NewPasswordModel> password;
    Completion<void(int)> pendingAlert;
};

TEST_F(AccountOverCurlTest, SignUpConfirmSignInChangeThePasswordAndDeleteTheAccount) {
    const std::string email = "mina@example.com";
    // Sign up in the login window: the account waits for its mail.
    onMain([&] { coordinator->requestLogin(); });
    ASSERT_TRUE(events.waitFor("login shown"));
    onMain([&] {
        login->switchMode();
        login->submit(" " + email + " ", "first-pass", "민지");
    });
    ASSERT_TRUE(events.waitFor(std::string("idle ") + AccountSession::needsConfirmationMessage));
    EXPECT_TRUE(users.exists(email));
    ASSERT_EQ(users.mails().size(), 1u);

    // The mail's link confirms the account and comes back to the program.
    events.clear();
    auto link = users.confirm(email);
    ASSERT_TRUE(link);
    onMain([&] { coordinator->open(*link); });
    ASSERT_TRUE(events.waitFor("login shown 메일 인증이 끝났어요."));
    EXPECT_FALSE(auth->isLoggedIn());

    // Sign in: the profile is made from the name given at sign-up.
    events.clear();
    onMain([&] { login->submit(email, "first-pass", ""); });
    ASSERT_TRUE(events.waitFor("notice 로그인됐어요"));
    EXPECT_TRUE(auth->isLoggedIn());
    EXPECT_EQ(users.username(email), "민지");
    onMain([&] { EXPECT_TRUE(detect->state().loggedIn); });

    // A forgotten password: the recovery mail's link signs in again after a yes, and the new
    // password is set in its window.
    events.clear();
    onMain([&] { login->forgotPassword(email); });
    ASSERT_TRUE(events.waitFor("idle " + email + " 로 재설정 메일을 보냈어요."));
    ASSERT_EQ(users.mails().back().kind, "recovery");
    onMain([&] { coordinator->open(users.mails().back().link); });
    ASSERT_TRUE(events.waitFor("alert 비밀번호를 다시 정할까요?"));
    answerAlert(0);
    ASSERT_TRUE(events.waitFor("password shown"));
    onMain([&] { password->submit("두번째-비밀번호", "두번째-비밀번호"); });
    ASSERT_TRUE(events.waitFor("alert 비밀번호를 바꿨어요"));
    answerAlert(0);

    // The old password no longer signs in; the new one does.
    std::promise<Result<std::string, AccountError>> old;
    onMain([&] {
        session->signIn(email, "first-pass",
                        [&](Result<std::string, AccountError> r) { old.set_value(r); });
    });
    auto refused = old.get_future().get();
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, "AUTH_LOGIN_FAILED");
    std::promise<Result<std::string, AccountError>> fresh;
    onMain([&] {
        session->signIn(email, "두번째-비밀번호",
                        [&](Result<std::string, AccountError> r) { fresh.set_value(r); });
    });
    ASSERT_TRUE(fresh.get_future().get());

    // Delete the account from the manage page: a wrong password first.
    EXPECT_EQ(route("delete_account", Json{"first-pass"}),
              BridgeReply::authScreenFailed("ACCOUNT_DELETE_WRONG_PASSWORD"));
    EXPECT_TRUE(users.exists(email));
    auto deleted = route("delete_account", Json{"두번째-비밀번호"});
    ASSERT_TRUE(deleted.is<BridgeReply::Ok>()) << log.all();
    EXPECT_EQ(deleted.as<BridgeReply::Ok>()->value["deleted"], true);
    EXPECT_FALSE(users.exists(email));
    EXPECT_FALSE(auth->isLoggedIn());
    EXPECT_EQ(store->token(), std::nullopt);

    // The delete request: its body, headers and the client's own time-out.
    auto requests = stub.requests();
    auto it = std::find_if(requests.rbegin(), requests.rend(), [](const StubRequest& r) {
        return r.path == "/functions/v1/delete-account";
    });
    ASSERT_NE(it, requests.rend());
    EXPECT_EQ(json::parse(it->body),
              (Json{{"password", "두번째-비밀번호"}, {"app_version", "0.2.0"}}));
    EXPECT_EQ(it->header("x-region"), "ap-northeast-2");
    EXPECT_EQ(it->header("apikey"), "anon");
    EXPECT_EQ(it->header("X-Client-Info"), "parlendo-mac/0.2.0");
}

TEST_F(AccountOverCurlTest, ADeleteRequestWithoutAnAnswerIsRememberedForTheNextStart) {
    const std::string email = "jun@example.com";
    onMain([&] {
        coordinator->requestLogin();
        login->switchMode();
        login->submit(email, "password-1", "준");
    });
    ASSERT_TRUE(events.waitFor(std::string("idle ") + AccountSession::needsConfirmationMessage));
    users.confirm(email);
    onMain([&] {
        login->switchMode();
        login->submit(email, "password-1", "");
    });
    ASSERT_TRUE(events.waitFor("notice 로그인됐어요"));

    // The connection drops before the answer: no answer is "no response".
    stub.on("POST", "/functions/v1/delete-account", StubAnswer::dropped());
    stub.respondWith([this](const StubRequest& request) -> std::optional<StubAnswer> {
        if (request.path == "/functions/v1/delete-account") {
            return std::nullopt;
        }
        return users.handle(request);
    });
    EXPECT_EQ(route("delete_account", Json{"password-1"}),
              BridgeReply::authScreenFailed("ACCOUNT_DELETE_NO_RESPONSE"));
    EXPECT_TRUE(auth->isLoggedIn());
    EXPECT_EQ(TempDir::read(state.path() / FileDeletePendingStore::fileName),
              R"({"users":[")" + *auth->userID() + R"("]})");
}

}  // namespace
}  // namespace parlendo
