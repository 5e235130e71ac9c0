#pragma once

#include "FakeServerCalling.h"
#include "FakeSession.h"
#include "LogCapture.h"
#include "ManualExecutor.h"
#include "TempDir.h"
#include "aitalk/PageCopySync.h"
#include "foundation/SHA256.h"
#include "projects/DriveService.h"
#include "projects/FileBookmarks.h"

#include <memory>
#include <string>
#include <vector>

namespace parlendo::testing {

// The project service of AI talk's tests: a scripted server, a switchable session, stores in a
// temporary folder, and a manual executor for the work that leaves the delivering thread.
struct AITalkRig {
    std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
    // Where the server delivers, once a test asks for it with `server->deliverOn(main)`.
    std::shared_ptr<ManualExecutor> main = std::make_shared<ManualExecutor>(clock);
    std::shared_ptr<ManualExecutor> work = std::make_shared<ManualExecutor>(clock);
    TempDir dir;
    std::shared_ptr<FakeServerCalling> server = std::make_shared<FakeServerCalling>();
    std::shared_ptr<FakeSession> session = std::make_shared<FakeSession>("user-1");
    std::shared_ptr<DriveLocalStore> local = std::make_shared<DriveLocalStore>(dir.path());
    std::shared_ptr<PageCopyStore> copies = std::make_shared<PageCopyStore>(dir.path(), clock);
    std::shared_ptr<FileBookmarks> links = std::make_shared<FileBookmarks>(dir.path() / "trash");
    std::shared_ptr<DriveService> drive =
        std::make_shared<DriveService>(server, session, local, copies, links, nullptr, std::nullopt,
                                       DriveService::Runtime{work, work, clock});
    LogCapture log;

    void settle() {
        while (main->runAll() + work->runAll() > 0) {
        }
    }

    // The calls whose path (without query) is `path`.
    std::vector<FakeServerCalling::Call> calls(const std::string& path) const {
        std::vector<FakeServerCalling::Call> out;
        for (auto& call : server->calls()) {
            if (call.path.substr(0, call.path.find('?')) == path) {
                out.push_back(call);
            }
        }
        return out;
    }
};

// A drive_documents row of a ready document whose pages are `pages`.
inline Json documentRow(const std::string& id, const std::vector<std::string>& pages,
                        const std::string& drive = "d1", const std::string& createdAt = "",
                        const std::string& fileName = "") {
    std::string joined;
    for (size_t i = 0; i < pages.size(); ++i) {
        joined += (i ? "\f" : "") + pages[i];
    }
    return Json{{"id", id},
                {"drive_id", drive},
                {"file_name", fileName.empty() ? id + ".pdf" : fileName},
                {"text_sha256", SHA256::hex(joined)},
                {"page_count", pages.size()},
                {"status", "ready"},
                {"created_at", createdAt}};
}

inline ReadyDocument readyDocument(const std::string& id, const std::vector<std::string>& pages,
                                   const std::string& createdAt = "",
                                   const std::string& fileName = "") {
    return *PageCopySync::ready(documentRow(id, pages, "d1", createdAt, fileName));
}

// A drive_pages answer for pages first..last of `pages`.
inline std::string pageRows(const std::vector<std::string>& pages, size_t first, size_t last) {
    Json rows = Json::array();
    for (size_t p = first; p <= last && p <= pages.size(); ++p) {
        rows.push_back(Json{{"page_no", p}, {"text", pages[p - 1]}});
    }
    return rows.dump();
}

}  // namespace parlendo::testing
