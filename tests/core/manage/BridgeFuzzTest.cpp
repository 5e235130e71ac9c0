#include <gtest/gtest.h>

#include "FakeSecretStore.h"
#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "capture/DetectRoutes.h"
#include "capture/DetectStore.h"
#include "manage/DiagnosticsRoutes.h"
#include "manage/FeedbackRoutes.h"
#include "manage/ManageBridge.h"
#include "manage/SourceOpener.h"
#include "popups/ConnectionRoutes.h"
#include "popups/PopupSettingsRoutes.h"
#include "saving/ServerStudyRecorder.h"
#include "saving/StudyRoutes.h"

#include <random>

namespace parlendo {
namespace {

struct NoOpener final : SystemOpening {
    int opened = 0;
    void open(const std::string&) override { ++opened; }
    void openPath(const std::string&) override { ++opened; }
};

struct Unreachable final : DraftTransport {
    void post(std::string, HttpHeaders, std::string, double,
              Completion<void(DraftResponse)> completion) override {
        completion(DraftResponse::unreachable());
    }
};

// Every route group that the core can build, over fakes that answer at once.
struct FuzzRig {
    std::shared_ptr<testing::ManualExecutor> main = std::make_shared<testing::ManualExecutor>();
    std::shared_ptr<testing::FakeServerCalling> server =
        std::make_shared<testing::FakeServerCalling>();
    std::shared_ptr<testing::FakeSession> session = std::make_shared<testing::FakeSession>();
    std::shared_ptr<DetectStore> detect = std::make_shared<DetectStore>();
    std::shared_ptr<NoOpener> opener = std::make_shared<NoOpener>();
    std::shared_ptr<ManageBridge> bridge;

    FuzzRig() {
        auto connection = std::make_shared<ConnectionSettings>(
            std::make_shared<testing::FakeSecretStore>(), session);
        auto draft = std::make_shared<PopupDraftService>(connection, session,
                                                         std::make_shared<Unreachable>(), main);
        auto judge = [](const std::string& address) {
            return address.size() % 2 ? SourceOpener::Local::open("/tmp/x")
                                      : SourceOpener::Local::runnable();
        };
        BridgeRouter::Groups groups = {
            std::make_shared<DetectRoutes>(detect->control(), 42, [] { return std::nullopt; }),
            std::make_shared<SourceOpenRoutes>(std::make_shared<SourceOpener>(opener, judge)),
            std::make_shared<StudyRoutes>(ServerStudyRecorder::make(server, session), main),
            std::make_shared<PopupSettingsRoutes>(std::make_shared<ServerPopupSettingsStore>(
                                                      server, session, [](const std::string&) {}),
                                                  draft, main),
            std::make_shared<ConnectionRoutes>(connection),
            std::make_shared<FeedbackRoutes>(
                std::make_shared<FeedbackSender>(server, session, "0.2.0")),
            std::make_shared<DiagnosticsRoutes>(std::make_shared<UIErrorLog>()),
        };
        bridge = std::make_shared<ManageBridge>(BridgeRouter::make(groups, main->clock(), main));
    }
};

class Generator {
  public:
    explicit Generator(unsigned seed) : random_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    std::string text() {
        switch (below(8)) {
            case 0:
                return "";
            case 1:
                return std::string(static_cast<size_t>(20000 + below(100000)), 'x');
            case 2: {
                std::string bytes;
                for (int i = below(20); i > 0; --i) {
                    bytes.push_back(static_cast<char>(below(256)));
                }
                return bytes;
            }
            case 3:
                return "file:///tmp/" + std::to_string(below(100)) + ".pdf";
            case 4:
                return "https://example.com/" + std::to_string(below(1000));
            case 5:
                return "한국어 \"quote\" \\ back";
            default:
                return names_[static_cast<size_t>(below(static_cast<int>(names_.size())))];
        }
    }

    Json value(int depth) {
        switch (below(depth > 4 ? 6 : 9)) {
            case 0:
                return nullptr;
            case 1:
                return below(2) == 1;
            case 2:
                return below(1000000) - 500000;
            case 3:
                return std::uniform_real_distribution<double>(-1e308, 1e308)(random_);
            case 4:
            case 5:
                return Json(text());  // may hold invalid UTF-8
            case 6:
            case 7: {
                Json list = Json::array();
                for (int i = below(5); i > 0; --i) {
                    list.push_back(value(depth + 1));
                }
                return list;
            }
            default: {
                Json object = Json::object();
                for (int i = below(5); i > 0; --i) {
                    object[text().substr(0, 8)] = value(depth + 1);
                }
                return object;
            }
        }
    }

    // A message text: mostly well-formed, sometimes with a wrong field or damaged bytes.
    std::string message(std::int64_t id) {
        Json body = Json::object();
        body["id"] = below(10) == 0 ? value(3) : Json(id);
        body["name"] =
            below(10) == 0
                ? value(3)
                : Json(names_[static_cast<size_t>(below(static_cast<int>(names_.size())))]);
        if (below(5) != 0) {
            Json args = Json::array();
            for (int i = below(4); i > 0; --i) {
                args.push_back(value(0));
            }
            body["args"] = below(10) == 0 ? value(2) : args;
        }
        std::string text = json::dumpLossy(body);
        switch (below(10)) {
            case 0:  // a raw byte somewhere
                text.insert(static_cast<size_t>(below(static_cast<int>(text.size()) + 1)), 1,
                            static_cast<char>(0x80 + below(0x80)));
                break;
            case 1:  // cut short
                text.resize(static_cast<size_t>(below(static_cast<int>(text.size()) + 1)));
                break;
            case 2:  // a lone surrogate escape inside the first string
                if (auto quote = text.find("\":\""); quote != std::string::npos) {
                    text.insert(quote + 3, "\\udc01");
                }
                break;
            default:
                break;
        }
        return text;
    }

  private:
    std::mt19937 random_;
    std::vector<std::string> names_ = {
        "detect_status",
        "detect_start",
        "detect_stop",
        "local_pdf_status",
        "open_url",
        "save_review",
        "save_status",
        "propose_custom",
        "toggle_assistant",
        "delete_assistant",
        "update_assistant",
        "save_assistant",
        "credential_status",
        "set_optional_credentials",
        "remove_optional_credentials",
        "send_feedback",
        "ui_error",
        "load_tree",
        "no_such",
    };
};

TEST(BridgeFuzz, RandomMessagesAreAnsweredWithAnEnvelopeOrDropped) {
    testing::LogCapture log;
    FuzzRig rig;
    Generator generate(20240607);
    int answered = 0;
    int dropped = 0;
    for (std::int64_t id = 1; id <= 3000; ++id) {
        const std::string text = generate.message(id);
        const ManageBridge::Incoming incoming = ManageBridge::read(text);
        if (!incoming.message) {
            ++dropped;
            continue;
        }
        const ManageBridge::Message message = *incoming.message;
        std::vector<std::string> scripts;
        rig.bridge->take(message,
                         [&](std::string script) { scripts.push_back(std::move(script)); });
        rig.main->runAll();
        ASSERT_EQ(scripts.size(), 1u) << "message " << id << ": " << text.substr(0, 200);
        const std::string head = "window.__prlResolve(" + std::to_string(message.id) + ", ";
        const std::string tail = ", \"" + message.load + "\");";
        ASSERT_TRUE(scripts[0].starts_with(head) && scripts[0].ends_with(tail)) << scripts[0];
        const std::string reply =
            scripts[0].substr(head.size(), scripts[0].size() - head.size() - tail.size());
        const std::optional<Json> parsed = json::parse(reply);
        ASSERT_TRUE(parsed) << reply.substr(0, 200);
        ASSERT_TRUE(parsed->is_object() && (*parsed)["ok"].is_boolean())
            << message.name << " answered " << reply.substr(0, 200);
        ++answered;
    }
    EXPECT_GT(answered, 2000);
    EXPECT_GT(dropped, 50);
    EXPECT_EQ(rig.bridge->authCallsInFlight(), 0);
}

}  // namespace
}  // namespace parlendo
