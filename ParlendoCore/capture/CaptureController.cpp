#include "capture/CaptureController.h"

#include "capture/CaptureCopy.h"
#include "capture/CaptureKeys.h"
#include "capture/SyntheticCopyLedger.h"
#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/PyText.h"
#include "foundation/Uuid.h"

#include <cstdarg>
#include <cstdio>
#include <deque>

namespace parlendo {

namespace {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) {
        std::vsnprintf(text.data(), text.size() + 1, pattern, again);
    }
    va_end(again);
    return text;
}

}  // namespace

// Keeps the jobs of the fetch queue apart: a fetch waits for the clipboard across several
// tasks, and nothing else that touches the clipboard (the late check of an earlier copy) may
// run in between. Used only on the fetch queue.
struct CaptureController::Lane : std::enable_shared_from_this<Lane> {
    using Job = UniqueFunction<void(Task done)>;

    void submit(Job job) {
        if (busy) {
            waiting.push_back(std::move(job));
            return;
        }
        busy = true;
        job([self = shared_from_this()] { self->next(); });
    }

    void next() {
        busy = false;
        if (!waiting.empty()) {
            auto job = std::move(waiting.front());
            waiting.pop_front();
            submit(std::move(job));
        }
    }

    bool busy = false;
    std::deque<Job> waiting;
};

// What the fetch queue hands back to the main thread.
struct CaptureController::Fetched {
    SelectionFetch::Result result;
    std::shared_ptr<SelectionReading> reader;
    std::string bundle;
    std::optional<ReadingContext> context;
    double capturedAt = 0;
    double releasedAt = 0;
    PopupAnchor anchor = PopupAnchor::mouse();
    std::string detail;
};

std::shared_ptr<CaptureController> CaptureController::make(Dependencies dependencies) {
    return std::shared_ptr<CaptureController>(new CaptureController(std::move(dependencies)));
}

CaptureController::CaptureController(Dependencies dependencies)
    : deps_(std::move(dependencies)), lane_(std::make_shared<Lane>()) {}

void CaptureController::rejected(bool busy) {
    if (onRejected) {
        onRejected(busy);
    }
}

void CaptureController::lookupSelection(double releasedAt) {
    if (!enabled_) {
        Log::write("capture", "찾기 키 무시 — 감지 꺼짐");
        return;
    }
    if (fetching_) {
        rejected(true);
        Log::write("capture", "찾기 키 무시 — 앞의 가져오기가 끝나지 않음");
        return;
    }
    const auto app = deps_.readers.frontApplication ? deps_.readers.frontApplication()
                                                    : std::optional<RunningApplication>();
    if (!app) {
        Log::write("capture", "찾기 키 무시 — 앞 앱 없음");
        return;
    }
    if (app->pid == deps_.readers.ownPid) {
        Log::write("capture", "찾기 키 무시 — PARLENDO 자기 창");
        return;
    }
    if (deps_.onCapture) {
        deps_.onCapture();
    }
    const double capturedAt = deps_.clock->now();
    std::string bundle = app->bundleID.value_or("?");
    auto reader = deps_.readers.makeReader(*app);
    fetching_ = true;
    std::weak_ptr<CaptureController> weak = weak_from_this();
    deps_.fetchQueue->post([weak, lane = lane_, app = *app, reader = std::move(reader),
                            bundle = std::move(bundle), capturedAt, releasedAt]() mutable {
        lane->submit([weak, app = std::move(app), reader = std::move(reader),
                      bundle = std::move(bundle), capturedAt, releasedAt](Task done) mutable {
            auto self = weak.lock();
            if (!self) {
                done();
                return;
            }
            self->fetch(app, std::move(reader), std::move(bundle), capturedAt, releasedAt,
                        std::move(done));
        });
    });
}

void CaptureController::fetch(const RunningApplication& app,
                              std::shared_ptr<SelectionReading> reader, std::string bundle,
                              double capturedAt, double releasedAt, Task done) {
    auto clock = deps_.clock;
    const double t0 = clock->uptime();
    auto context = deps_.readers.context->read(app);
    const double contextMs = (clock->uptime() - t0) * 1000;
    std::optional<WindowIdentity> window;
    if (context) {
        window = context->window;
    }
    std::weak_ptr<CaptureController> weak = weak_from_this();
    auto main = deps_.main;
    SelectionFetch::run(
        reader, deps_.syntheticCopies, std::move(window), CaptureKeys::copyWait,
        CaptureKeys::copyPoll, deps_.fetchQueue,
        [weak, main, clock, reader, bundle = std::move(bundle), context = std::move(context),
         capturedAt, releasedAt, contextMs,
         done = std::move(done)](SelectionFetch::Result result) mutable {
            Fetched fetched{std::move(result), reader,     std::move(bundle),    std::move(context),
                            capturedAt,        releasedAt, PopupAnchor::mouse(), std::string()};
            std::string anchorText = "mouse";
            const auto* text = std::get_if<SelectionFetch::Text>(&fetched.result.outcome);
            if (text && text->stage == SelectionFetch::Stage::direct) {
                const double b0 = clock->uptime();
                const auto bounds = reader->selectionBounds();
                const double boundsMs = (clock->uptime() - b0) * 1000;
                anchorText = format("%s bounds_ms=%.0f",
                                    bounds ? bounds->method.c_str() : "mouse(no_bounds)", boundsMs);
                if (bounds) {
                    fetched.anchor = PopupAnchor::selection(bounds->rect);
                }
            }
            fetched.detail = format("context_ms=%.0f anchor=%s", contextMs, anchorText.c_str());
            main->post([weak, fetched = std::move(fetched)]() mutable {
                if (auto self = weak.lock()) {
                    self->fetching_ = false;
                    self->finish(std::move(fetched));
                }
            });
            done();
        });
}

void CaptureController::copyUsed(const std::string& bundle, const char* outcome,
                                 std::optional<double> waitedMs) {
    std::string line = "대신 복사 사용 app=" + bundle + " outcome=" + outcome;
    if (waitedMs) {
        line += format(" copy_wait_ms=%.0f", *waitedMs);
    }
    Log::write("capture", line);
}

void CaptureController::finish(Fetched fetched) {
    const double ms = (deps_.clock->uptime() - fetched.releasedAt) * 1000;
    const std::string& bundle = fetched.bundle;
    std::visit(
        overloaded{
            [&](SelectionFetch::NoSelection&) {
                rejected(false);
                copyUsed(bundle, "no_copy");
                Log::write("capture", format("못 가져옴 reason=no_selection app=%s ms=%.0f",
                                             bundle.c_str(), ms));
                notice("선택한 글이 없어요");
                if (fetched.result.pending) {
                    scheduleLateCheck(fetched.reader, std::move(*fetched.result.pending), bundle);
                }
            },
            [&](SelectionFetch::Unreadable&) {
                rejected(false);
                copyUsed(bundle, "no_text");
                Log::write("capture", format("못 가져옴 reason=unreadable app=%s ms=%.0f",
                                             bundle.c_str(), ms));
                notice("이 글은 읽을 수 없어요");
            },
            [&](SelectionFetch::WindowChanged&) {
                rejected(false);
                copyUsed(bundle, "window_changed");
                Log::write("capture", "가져온 글 버림 — 가져오는 사이 앞 창이 바뀜 app=" + bundle);
            },
            [&](SelectionFetch::CopyNotSent&) {
                rejected(false);
                Log::write("capture", format("못 가져옴 reason=copy_not_sent app=%s ms=%.0f",
                                             bundle.c_str(), ms));
                notice("선택한 글이 없어요");
            },
            [&](SelectionFetch::ClipboardNotSaved&) {
                rejected(false);
                Log::write("capture", format("못 가져옴 reason=clipboard_not_saved app=%s ms=%.0f",
                                             bundle.c_str(), ms));
                notice(std::string(CaptureCopy::clipboardNotSaved));
            },
            [&](SelectionFetch::Text& text) { captured(fetched, text, ms); },
        },
        fetched.result.outcome);
}

void CaptureController::notice(const std::string& text) {
    if (deps_.notice) {
        deps_.notice(text);
    }
}

void CaptureController::captured(Fetched& fetched, SelectionFetch::Text& text, double ms) {
    const bool copied = text.stage == SelectionFetch::Stage::copy;
    if (copied) {
        copyUsed(fetched.bundle, "ok", text.waitedMs);
    }
    if (!enabled_) {
        Log::write("capture", "가져온 글 버림 — 그 사이 감지가 꺼짐");
        return;
    }
    const auto& context = fetched.context;
    CaptureSnapshot snapshot = makeSnapshot(text.text, fetched.capturedAt, context);
    auto started = deps_.pipeline->begin(snapshot, fetched.anchor);
    std::string line =
        format("lookup_key stage=%s method=%s app=%s popups=%d key_to_popup_ms=%.0f len=%zu",
               std::string(toString(text.stage)).c_str(), text.method.c_str(),
               fetched.bundle.c_str(), started.popupCount, ms, PyText::count(text.text));
    if (copied) {
        line += format(" copy_wait_ms=%.0f", text.waitedMs);
    }
    Log::write("timing", line + " " + fetched.detail);
    if (started.notice) {
        showSkipNotice(*started.notice);
    }
    deps_.main->post([pipeline = deps_.pipeline, started = std::move(started)]() mutable {
        pipeline->complete(std::move(started), nullptr);
    });
}

CaptureSnapshot CaptureController::makeSnapshot(const std::string& text, double capturedAt,
                                                const std::optional<ReadingContext>& context) {
    if (!context) {
        return CaptureSnapshot(uuid::makeUpper(), text, capturedAt, std::nullopt, std::nullopt,
                               std::nullopt, std::nullopt);
    }
    return CaptureSnapshot(uuid::makeUpper(), text, capturedAt, context->window, context->title,
                           context->documentURL, context->webURL);
}

void CaptureController::showSkipNotice(CaptureNotice skip) {
    notice(std::string(captureNoticeText(skip)));
    Log::write("capture", "버림 안내 reason=" + std::string(toString(skip)));
}

void CaptureController::scheduleLateCheck(std::shared_ptr<SelectionReading> reader,
                                          SelectionFetch::Pending pending,
                                          const std::string& bundle) {
    // The late check belongs to the copy, not to the controller: it runs even if the
    // controller is gone by then, so that the user's clipboard is put back.
    deps_.fetchQueue->postAfter(
        CaptureKeys::lateCopyCheck,
        [lane = lane_, ledger = deps_.syntheticCopies, reader = std::move(reader),
         pending = std::move(pending), bundle]() mutable {
            lane->submit([ledger = std::move(ledger), reader = std::move(reader),
                          pending = std::move(pending), bundle](Task done) mutable {
                if (SelectionFetch::settleLate(*reader, *ledger, pending)) {
                    Log::write("capture",
                               "늦게 도착한 대신 복사 — 클립보드를 되돌림 app=" + bundle);
                }
                done();
            });
        });
}

}  // namespace parlendo
