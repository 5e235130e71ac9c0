#pragma once

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "TempDir.h"
#include "projects/DriveService.h"
#include "projects/DriveText.h"
#include "projects/FileBookmarks.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace parlendo {

inline void PrintTo(const SourceLink& link, std::ostream* out) {
    *out << link.path << (link.renewed ? " (renewed: " + *link.renewed + ")" : "");
}

}  // namespace parlendo

namespace parlendo::testing {

// An extractor that answers from a table of paths; unknown paths fail file_not_found.
class FakeExtractor final : public PDFExtracting {
  public:
    Result<ExtractedPDF, DriveFailure> extract(const std::string& path) const override {
        std::lock_guard lock(mutex_);
        ++calls_;
        if (onExtract_) {
            onExtract_(path);
        }
        auto it = answers_.find(path);
        if (it == answers_.end()) {
            return fail(DriveFailure("file_not_found"));
        }
        return it->second;
    }

    void set(const std::string& path, Result<ExtractedPDF, DriveFailure> answer) {
        std::lock_guard lock(mutex_);
        answers_.insert_or_assign(path, std::move(answer));
    }
    // A document of `pages` at `path`, each page `pageText` (or "page <n> ..." text).
    ExtractedPDF document(const std::string& path, std::vector<std::string> pages,
                          std::vector<OutlineEntry> outline = {}) {
        ExtractedPDF pdf{DriveText::fileName(path), std::nullopt, std::move(pages),
                         std::move(outline), path};
        set(path, pdf);
        return pdf;
    }
    int calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    // Runs on every extraction, before it answers (on the extracting thread).
    void onExtract(std::function<void(const std::string&)> hook) {
        std::lock_guard lock(mutex_);
        onExtract_ = std::move(hook);
    }

  private:
    mutable std::mutex mutex_;
    std::map<std::string, Result<ExtractedPDF, DriveFailure>> answers_;
    mutable int calls_ = 0;
    std::function<void(const std::string&)> onExtract_;
};

// Pages of plain text: "p1 text ...", each `length` characters long at least.
inline std::vector<std::string> textPages(int count, size_t length = 20) {
    std::vector<std::string> pages;
    for (int i = 1; i <= count; ++i) {
        std::string page = "page " + std::to_string(i) + " ";
        while (page.size() < length) {
            page += "word ";
        }
        pages.push_back(page);
    }
    return pages;
}

// The project service over fakes: a scripted server, a switchable session, stores in a temporary
// folder, a table extractor, and manual executors for extraction, retry waits and the settings
// file's writes (and the main executor, once the servers deliver there as the program's clients
// do).
struct DriveRig {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<ManualExecutor> work = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<ManualExecutor> timers = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<ManualExecutor> writer = std::make_shared<ManualExecutor>(clock);
    TempDir dir;
    std::shared_ptr<FakeServerCalling> server = std::make_shared<FakeServerCalling>();
    std::shared_ptr<FakeServerCalling> uploadServer;  // set by withUploadRoute()
    std::shared_ptr<FakeSession> session = std::make_shared<FakeSession>("user-1");
    std::shared_ptr<DriveLocalStore> local = std::make_shared<DriveLocalStore>(dir.path());
    std::shared_ptr<PageCopyStore> copies = std::make_shared<PageCopyStore>(dir.path(), clock);
    std::shared_ptr<FileBookmarks> links =
        std::make_shared<FileBookmarks>(dir.path() / "home-trash");
    std::shared_ptr<FakeExtractor> extractor = std::make_shared<FakeExtractor>();
    std::shared_ptr<DriveService> service = make(std::nullopt);
    int changes = 0;
    int detectChanges = 0;
    LogCapture log;

    DriveRig() { watch(); }

    std::shared_ptr<DriveService> make(std::optional<UploadRoute> route) {
        return std::make_shared<DriveService>(server, session, local, copies, links, extractor,
                                              std::move(route),
                                              DriveService::Runtime{work, timers, clock, writer});
    }

    // Uploads go through their own client, labelled "upload".
    void withUploadRoute() {
        uploadServer = std::make_shared<FakeServerCalling>();
        service = make(UploadRoute{uploadServer, [] {
                                       return std::string("upload");
                                   }});
        watch();
    }

    // Server answers arrive on the main executor, as the program's clients deliver them.
    void deliverOnMain() {
        server->deliverOn(main);
        if (uploadServer) {
            uploadServer->deliverOn(main);
        }
    }

    void watch() {
        service->setOnChange([this] { ++changes; });
        service->setOnDetectChange([this] { ++detectChanges; });
    }

    // Runs everything queued on the executors.
    void settle() {
        while (main->runAll() + work->runAll() + timers->runAll() + writer->runAll() > 0) {
        }
    }

    // Runs an operation to its end (advancing the clock through retry waits) and returns what it
    // completed with.
    DriveResult<Json> run(const std::function<void(DriveService::Done)>& operation) {
        std::optional<DriveResult<Json>> result;
        operation([&](DriveResult<Json> r) { result = std::move(r); });
        for (int i = 0; i < 1000 && !result; ++i) {
            settle();
            if (!result) {
                clock->advance(1.0);
            }
        }
        EXPECT_TRUE(result.has_value()) << "the operation never completed";
        return result ? std::move(*result)
                      : DriveResult<Json>(fail(DriveError(CallFailure::badShape())));
    }

    // The value of a successful operation (a test failure otherwise).
    Json value(const std::function<void(DriveService::Done)>& operation) {
        auto result = run(operation);
        EXPECT_TRUE(result.has_value()) << describe(result);
        return result ? *result : Json();
    }

    // The reason code a failed operation reports ("stale" for the dropped stale failure).
    std::string failure(const std::function<void(DriveService::Done)>& operation) {
        auto result = run(operation);
        EXPECT_FALSE(result.has_value()) << result->dump();
        return result ? "" : code(result.error());
    }

    static std::string code(const DriveError& error) {
        auto failure = DriveErrors::from(error, "server_error");
        return failure ? failure->code : "stale";
    }
    static std::string describe(const DriveResult<Json>& result) {
        return result ? result->dump() : "failed: " + code(result.error());
    }

    // The calls made with this method and path (without query), in order.
    std::vector<FakeServerCalling::Call> calls(const FakeServerCalling& fake,
                                               const std::string& method,
                                               const std::string& path) const {
        std::vector<FakeServerCalling::Call> out;
        for (auto& call : fake.calls()) {
            if (call.method == method && call.path.substr(0, call.path.find('?')) == path) {
                out.push_back(call);
            }
        }
        return out;
    }
};

}  // namespace parlendo::testing
