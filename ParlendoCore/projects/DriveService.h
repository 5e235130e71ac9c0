#pragma once

#include "auth/AccountLocalData.h"
#include "foundation/Clock.h"
#include "foundation/Completion.h"
#include "foundation/Executor.h"
#include "foundation/Json.h"
#include "projects/DriveFailure.h"
#include "projects/DriveLocalStore.h"
#include "projects/ExtractedPDF.h"
#include "projects/PageBatchLadder.h"
#include "projects/PageCopyStore.h"
#include "projects/SourceLinking.h"
#include "projects/UploadTransport.h"
#include "server/AuthTypes.h"
#include "server/ServerCalling.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace parlendo {

// The one road to the user's projects ("drives") and everything in them: the project list and
// trash, AI popups and the AI detect switch, document upload, listing, source links and deletion,
// the document map and saved threads. Every operation talks to the backend's data API through the
// REST client, completes exactly once with a JSON object ready for the manage page or with a
// DriveError, and keeps no state between calls: the signed-in user is read from the session
// whenever it is needed, and the server limits rows to that user.
//
// Operations may start on any thread and complete where the server client delivers, or on the
// work executor for those that handle whole documents. The clients deliver on the main executor,
// so whatever costs time with a large document runs on `work` and the main executor only hands
// results on: PDF extraction, the upload's whole-text work (limits, fingerprint, table of
// contents, the local copy, the serialisation of every page batch), the parsing of paged and
// large reads, and the resolving of documents' source links, which looks at their files. Waits
// between page-batch retries are timers on `timers`. `onChange` is told after a change to
// projects, documents or popups; `onDetectChange` after the AI detect switch changed; both are set
// once before use and are called on the thread of the operation that made the change.
class DriveService : public std::enable_shared_from_this<DriveService> {
  public:
    using Done = Completion<void(DriveResult<Json>)>;
    using RowsDone = Completion<void(RowsResult)>;
    // (pages done, pages of this file, 1-based file number, files being uploaded)
    using UploadProgress = std::function<void(int, int, int, int)>;
    // (pages done, pages of the file)
    using FileProgress = std::function<void(int, int)>;

    static constexpr double timeout = 15.0;
    // The most pages a paged read asks for, even when the server keeps answering.
    static constexpr int pagedMaxPages = 1000;

    struct Runtime {
        ExecutorPtr work;    // extraction and the work on whole documents, off the main thread
        ExecutorPtr timers;  // waits between page-batch retries
        std::shared_ptr<const Clock> clock;
        // The changes of the local settings file that the main thread asks for, one at a time in
        // the order asked, off the main thread (a write waits on a busy disk); `work` when none
        // is given.
        ExecutorPtr writer = nullptr;
    };

    DriveService(std::shared_ptr<DetailedServerCalling> server,
                 std::shared_ptr<SessionProviding> session, std::shared_ptr<DriveLocalStore> local,
                 std::shared_ptr<PageCopyStore> copies, std::shared_ptr<SourceLinking> links,
                 std::shared_ptr<PDFExtracting> extractor, std::optional<UploadRoute> upload,
                 Runtime runtime);

    const std::shared_ptr<DetailedServerCalling>& server() const { return server_; }
    const std::shared_ptr<SessionProviding>& session() const { return session_; }
    const std::shared_ptr<DriveLocalStore>& local() const { return local_; }
    const std::shared_ptr<PageCopyStore>& copies() const { return copies_; }
    const std::shared_ptr<SourceLinking>& links() const { return links_; }
    const std::shared_ptr<const Clock>& clock() const { return runtime_.clock; }

    // Registers the forgetters of what the projects keep here for a user: the user's section of
    // the settings file, removed on the writer after the changes handed to it before (one of them
    // would write the section back), and the page copies.
    void registerForgetters(AccountLocalData& registry);

    void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }
    void setOnDetectChange(std::function<void()> onDetectChange) {
        onDetectChange_ = std::move(onDetectChange);
    }

    // ---- projects ----
    // {"drives": [...]}, the word-book project first; asks the server to make it when missing.
    void listDrives(Done done);
    void createDrive(std::optional<Json> name, Done done);
    void renameDrive(std::string id, std::optional<Json> name, Done done);
    void deleteDrive(std::string id, Done done);
    void restoreDrive(std::string id, Done done);
    void listDeletedDrives(Done done);
    void purgeDrive(std::string id, Done done);

    // ---- AI popups and the AI detect switch ----
    void listPopups(std::string drive, Done done);
    void createPopup(std::string drive, std::optional<Json> name, std::optional<Json> prompt,
                     Done done);
    void updatePopup(std::string id, std::optional<Json> name, std::optional<Json> prompt,
                     Done done);
    void activatePopup(std::string id, Done done);
    void deactivatePopup(std::string id, Done done);
    void deletePopup(std::string id, Done done);
    Json aiStatus() const;
    bool aiDetectOn() const;
    // Stores the switch on the calling thread, waiting for the file's write.
    DriveResult<Json> setAIDetect(bool on, const std::string& source);
    // setAIDetect on the writer, after the changes handed to it before; completes there.
    void switchAIDetect(bool on, std::string source, Done done);

    // ---- upload ----
    // Uploads up to uploadBatchMax files, one after the other:
    // {"results": [...], "not_pdf": n, "too_many": n}.
    void upload(std::string drive, std::optional<Json> paths, UploadProgress progress, Done done);
    // One file; failures come back as {"error": code}.
    void uploadOne(std::string drive, std::string path, FileProgress progress,
                   Completion<void(Json)> done);
    // Begin, page batches and finish for extracted text; `owner` is the user the upload is for.
    void send(std::string drive, std::shared_ptr<const ExtractedPDF> pdf,
              std::optional<std::string> owner, std::shared_ptr<UploadTrace> trace,
              FileProgress progress, Done done);
    // Keeps the local page copy of a ready document, once per document and text.
    void keepCopy(const std::string& user, const std::string& document,
                  const std::vector<std::string>& pages, const std::string& sha);

    // ---- documents ----
    // The list and a document's source complete on the work executor, where the source states
    // were read.
    void listDocuments(std::string drive, Done done);
    // Document id -> local path of its linked PDF, for the signed-in user. Looks at the files:
    // never on the main thread.
    std::map<std::string, std::string> sourcePaths(const std::vector<std::string>& documents) const;
    struct DocumentSource {
        Json payload;                     // {"document_id", "file_name", "state"}
        std::optional<std::string> path;  // only when the state is "ok"
    };
    void documentSource(std::string document, Completion<void(DriveResult<DocumentSource>)> done);
    void relink(std::string document, std::optional<Json> path, Done done);
    void deleteDocument(std::string document, Done done);

    // ---- document map and saved threads ----
    void documentMap(std::string id, Done done);
    void unplacedThreads(std::string drive, Done done);
    void thread(std::string id, Done done);

    // ---- shared helpers ----
    // The live project row {"id", "kind", "name"}, or nullopt.
    void driveRow(std::string id, Completion<void(Result<std::optional<Json>, CallFailure>)> done);
    // A row-returning write; the written rows (none when the reply holds none).
    void write(std::string path, std::string method, Json body,
               Completion<void(Result<std::vector<Json>, CallFailure>)> done);
    // Every row of a query, read in pages of `size` until an empty page; parsed and completed on
    // the work executor.
    void paged(std::string path, int size, RowsDone done);
    // The rows of a GET (a JSON array of objects, else badShape), parsed and completed on the
    // work executor.
    void readRows(std::string path, double timeout, RowsDone done);
    // A database function's reply: any JSON value, null for an empty body.
    void rpc(const std::string& name, Json body, Completion<void(Result<Json, CallFailure>)> done);

    static std::int64_t integer(const Json* value);
    static Result<std::int64_t, CallFailure> embeddedCount(const Json* value);
    static std::int64_t daysSince(const Json* value, double now);
    static Result<Json, CallFailure> popupRow(const Json& row);
    // Wall-clock seconds as "yyyy-MM-ddTHH:mm:ss.SSSZ".
    static std::string timestamp(double seconds);
    // An id escaped for a filter value (the id itself when escaping gives nothing).
    static std::string escape(const std::string& id);
    // A database function's reply body as JSON: null when empty, badShape when not JSON.
    static Result<Json, CallFailure> parseReply(const std::string& body);
    // The source state of a document for a user: "ok", "missing" or "unknown", and the path. A
    // stored link that no longer describes its file is written anew on the writer. Resolving the
    // link looks at the file and may read through its folder: never on the main thread.
    std::pair<std::string, std::optional<std::string>> sourceState(
        const std::string& document, const std::optional<std::string>& user) const;

    // One operation's completion, shared by the steps that may end it. Called once.
    class Finish {
      public:
        explicit Finish(Done done) : done_(std::make_shared<Done>(std::move(done))) {}
        void operator()(DriveResult<Json> result) const { (*done_)(std::move(result)); }

      private:
        std::shared_ptr<Done> done_;
    };

    // Continues with the value of a server result, or finishes with its failure.
    template <class T, class F>
    static Completion<void(Result<T, CallFailure>)> then(Finish finish, F next) {
        return [finish, next = std::move(next)](Result<T, CallFailure> r) mutable {
            if (!r) {
                finish(fail(DriveError(std::move(r.error()))));
                return;
            }
            next(std::move(*r));
        };
    }

    // A server completion that goes on on the work executor: the clients deliver on the main
    // executor, which then only hands the result on.
    template <class F>
    auto onWork(F next) const {
        return [work = runtime_.work, next = std::move(next)](auto result) mutable {
            work->post([next = std::move(next), result = std::move(result)]() mutable {
                next(std::move(result));
            });
        };
    }

  private:
    struct UploadRun;
    struct FileSend;

    // The id of a live "study" project.
    void studyDrive(std::string id, Completion<void(DriveResult<std::string>)> done);
    void changed() const;
    double uptime() const { return runtime_.clock->uptime(); }
    std::int64_t millisSince(double start) const;
    void popupSwitch(std::string id, const char* function, const char* logText, Json result,
                     Done done);
    void pagedFrom(std::string path, int size, std::vector<Json> collected, int pages,
                   RowsDone done);
    // The files of an upload that can be uploaded, then the upload of the first.
    void choosePaths(std::shared_ptr<UploadRun> run, const Json& paths);
    void uploadNext(std::shared_ptr<UploadRun> run);
    void finishUpload(std::shared_ptr<FileSend> run, DriveResult<Json> result);
    void sendPages(std::shared_ptr<FileSend> run, Completion<void(DriveResult<bool>)> done);
    void sendBatch(std::shared_ptr<FileSend> run, Completion<void(DriveResult<bool>)> done);
    void discardUnfinished(std::string document, std::string owner, Completion<void(bool)> done);
    bool sameOwner(const std::string& owner, const std::string& step) const;
    // Keeps `renewed` in place of the link `recorded` of a user's document.
    void renewSource(std::string document, std::string recorded, std::string renewed,
                     std::string user) const;

    std::shared_ptr<DetailedServerCalling> server_;
    std::shared_ptr<DetailedServerCalling> uploadServer_;
    std::function<std::string()> uploadConn_;
    std::shared_ptr<SessionProviding> session_;
    std::shared_ptr<DriveLocalStore> local_;
    std::shared_ptr<PageCopyStore> copies_;
    std::shared_ptr<SourceLinking> links_;
    std::shared_ptr<PDFExtracting> extractor_;
    Runtime runtime_;
    std::function<void()> onChange_;
    std::function<void()> onDetectChange_;
};

}  // namespace parlendo
