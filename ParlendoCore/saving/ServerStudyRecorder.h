#pragma once

#include "foundation/Clock.h"
#include "saving/StudyRecording.h"
#include "server/AuthTypes.h"
#include "server/ServerCalling.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <variant>

namespace parlendo {

// Writes study reviews as rows of the `reviews` table and proves that they landed. Every review
// gets an operation id made here, which is also the row's review_id, so a request whose answer
// was lost can be read back and, when the server lacks the row, sent again under the same id.
// One record per operation is kept for the life of the process (the oldest settled ones go
// beyond `recordLimit`); `status` answers the page's questions and resolves unknown outcomes,
// `reconcileUnknown` re-checks every unknown one when the manage window closes.
//
// All members may be called from any thread. One lock guards the records and is never held
// across a server call. Checking that no request is running for an operation and marking one as
// running happen in one step under the lock, so two read-backs or resends never overlap.
class ServerStudyRecorder final : public StudyRecording,
                                  public std::enable_shared_from_this<ServerStudyRecorder> {
  public:
    struct ErrorCode {
        static constexpr std::string_view invalidPayload = "invalid_review_payload";
        static constexpr std::string_view rejected = "contract_or_permission_rejected";
        static constexpr std::string_view contractUnavailable = "server_contract_unavailable";
        static constexpr std::string_view unknown = "transport_or_response_unknown";
        static constexpr std::string_view readbackUnavailable = "readback_unavailable";
        static constexpr std::string_view conflict = "operation_conflict";
        static constexpr std::string_view authentication = "request_authentication";
    };

    static constexpr std::string_view table = "/rest/v1/reviews";
    static constexpr std::string_view columns = "review_id,user_id,word_id,is_known";
    static constexpr size_t recordLimit = 2000;
    static constexpr double timeout = 8.0;

    using MakeID = std::function<std::string()>;
    struct Reconciled {
        int checked = 0;
        int confirmed = 0;
        bool operator==(const Reconciled&) const = default;
    };

    // `newID` makes operation ids (a random lower-case UUID by default); `clock` times the log
    // lines (the system clock by default).
    static std::shared_ptr<ServerStudyRecorder> make(
        std::shared_ptr<ServerCalling> server, std::shared_ptr<SessionProviding> session,
        MakeID newID = nullptr, std::shared_ptr<const MonotonicClock> clock = nullptr);

    void saveReview(std::optional<bool> isKnown, std::string wordID,
                    Completion<void(StudySave)> completion) override;
    void status(std::string operationID,
                Completion<void(std::optional<StudySave>)> completion) override;
    void reset() override;

    // Re-checks, oldest first, every unknown operation of the signed-in user that has no request
    // running.
    void reconcileUnknown(Completion<void(Reconciled)> completion);

    // Whether a review row read back matches the one sent: equal review_id, user_id and word_id
    // strings (missing or non-string on both sides counts as equal) and equal is_known booleans.
    static bool matches(const Json& row, const Json& expected);

  private:
    struct Record {
        StudySave save;
        std::string userID;
        Json row;
    };
    struct Confirmed {
        Json row;
    };
    struct Failed {
        CallFailure failure;
    };
    struct Conflict {};
    struct Absent {};
    using Outcome = std::variant<Confirmed, Failed, Conflict, Absent>;

    ServerStudyRecorder(std::shared_ptr<ServerCalling> server,
                        std::shared_ptr<SessionProviding> session, MakeID newID,
                        std::shared_ptr<const MonotonicClock> clock);

    void attempt(const std::string& operationID, Completion<void(StudySave)> completion);
    void readBack(const Record& record, Completion<void(Outcome)> completion);
    StudySave finish(const std::string& operationID, const Outcome& outcome, bool readback);
    void trimLocked();
    StudySave log(StudySave save, std::string_view path, double since) const;
    void reconcileNext(std::shared_ptr<std::deque<std::string>> ids, Reconciled counts,
                       Completion<void(Reconciled)> completion);
    int elapsedMs(double since) const;

    std::shared_ptr<ServerCalling> server_;
    std::shared_ptr<SessionProviding> session_;
    MakeID newID_;
    std::shared_ptr<const MonotonicClock> clock_;

    mutable std::mutex mutex_;
    std::map<std::string, Record> records_;
    std::deque<std::string> order_;
};

}  // namespace parlendo
