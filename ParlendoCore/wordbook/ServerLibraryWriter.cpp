#include "wordbook/LibraryWriter.h"

#include "foundation/Log.h"
#include "foundation/Overloaded.h"
#include "foundation/Text.h"
#include "manage/ManageSignals.h"
#include "server/PostgRESTFilter.h"
#include "wordbook/LibraryPaging.h"
#include "wordbook/LibraryWriteSteps.h"
#include "wordbook/StepLoop.h"

#include <map>
#include <set>

namespace parlendo {
namespace {

using namespace LibraryWriteSteps;
using LibraryPaging::owner;
using LibraryPaging::parentFilter;
using LibraryPaging::signedIn;
using Done = LibraryWriteDone;

constexpr const char* folderColumns = "folder_id,name,parent_id,position,created_at";
constexpr const char* sourceColumns = "source_id,title,url,folder_id,last_seen_at";

}  // namespace

ManageContract::WriteError toWriteError(const LibraryWriteFailure& failure) {
    return std::visit(overloaded{
                          [](const CallFailure& f) { return ManageContract::WriteError(f); },
                          [](const LibraryWriteError& e) {
                              return ManageContract::WriteError(ManageContract::WriteError::Writer{
                                  e.reason(), e.writeErrorCode()});
                          },
                      },
                      failure);
}

LibraryWriteDone toWriteReply(Completion<void(Result<Json, ManageContract::WriteError>)> reply) {
    return [reply = std::move(reply)](LibraryWriteResult<Json> result) mutable {
        if (result) {
            reply(std::move(*result));
        } else {
            reply(fail(toWriteError(result.error())));
        }
    };
}

ServerLibraryWriter::ServerLibraryWriter(std::shared_ptr<ServerCalling> server,
                                         std::shared_ptr<SessionProviding> session,
                                         SourcesChanged sourcesChanged,
                                         std::shared_ptr<const WallClock> clock)
    : server_(std::move(server)),
      session_(std::move(session)),
      sourcesChanged_(std::make_shared<const SourcesChanged>(
          sourcesChanged ? std::move(sourcesChanged) : [](const std::string&) {})),
      clock_(clock ? std::move(clock) : SystemClock::shared()) {}

ServerLibraryWriter::SourcesChanged ServerLibraryWriter::announceChange() {
    return [](const std::string& reason) {
        ManageSignals::post(ManageSignals::sourcesChanged, reason);
    };
}

void ServerLibraryWriter::createFolder(std::string name, std::optional<std::string> parentID,
                                       Done completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    std::string cleaned(text::trimWhitespaceAndNewlines(name));
    if (cleaned.empty()) {
        completion(fail(refusal(LibraryWriteError::invalid("folder_name"))));
        return;
    }
    auto server = server_;
    whenAliveFolder(
        server, parentID, *user, "parent_folder", std::move(completion),
        [server, user = *user, cleaned, parentID](Done done) mutable {
            server->rows(
                "/rest/v1/folders?select=position&" + owner(user) + "&deleted_at=is.null&" +
                    parentFilter("parent_id", parentID) + "&order=position.desc&limit=1",
                timeout,
                [server, user, cleaned, parentID, done = std::move(done)](RowsResult last) mutable {
                    if (!last) {
                        done(fail(LibraryWriteFailure(std::move(last.error()))));
                        return;
                    }
                    std::int64_t position = 0;
                    if (!last->empty()) {
                        if (auto highest = json::integer(last->front(), "position")) {
                            position = *highest + 1;
                        }
                    }
                    Json body{{"user_id", user},
                              {"name", cleaned},
                              {"parent_id", parentID ? Json(*parentID) : Json(nullptr)},
                              {"position", position}};
                    insert(server, std::string("/rest/v1/folders?select=") + folderColumns,
                           std::move(body),
                           [cleaned, parentID,
                            done = std::move(done)](LibraryWriteResult<Rows> rows) mutable {
                               if (!rows) {
                                   done(fail(std::move(rows.error())));
                                   return;
                               }
                               // The inserted row must show the folder as it was asked for.
                               if (rows->empty() || !json::string(rows->front(), "folder_id") ||
                                   json::string(rows->front(), "name") != cleaned ||
                                   !shows(rows->front(), "parent_id", parentID)) {
                                   done(fail(refusal(
                                       LibraryWriteError::outcomeUnknown("create_folder"))));
                                   return;
                               }
                               done(std::move(rows->front()));
                           });
                });
        });
}

void ServerLibraryWriter::renameFolder(std::string id, std::string name, Done completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    std::string cleaned(text::trimWhitespaceAndNewlines(name));
    if (cleaned.empty()) {
        completion(fail(refusal(LibraryWriteError::invalid("folder_name"))));
        return;
    }
    patch(server_,
          "/rest/v1/folders?" + owner(*user) + "&folder_id=eq." + PostgRESTFilter::value(id) +
              "&deleted_at=is.null&select=" + folderColumns,
          Json{{"name", cleaned}},
          firstRow(
              "folder", "rename_folder",
              [cleaned](const Json& row) { return json::string(row, "name") == cleaned; },
              [](Json row, Done done) { done(std::move(row)); }, std::move(completion)));
}

void ServerLibraryWriter::renameSource(std::string id, std::string title, Done completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    std::string cleaned(text::trimWhitespaceAndNewlines(title));
    if (cleaned.empty()) {
        cleaned = "(제목 없음)";
    }
    auto changed = sourcesChanged_;
    patch(server_,
          "/rest/v1/sources?" + owner(*user) + "&source_id=eq." + PostgRESTFilter::value(id) +
              "&deleted_at=is.null&select=" + sourceColumns,
          Json{{"title", cleaned}},
          [cleaned, changed,
           completion = std::move(completion)](LibraryWriteResult<Rows> rows) mutable {
              if (!rows && isUniqueViolation(rows.error())) {
                  // Another source has this title already: nothing changed.
                  completion(Json{{"status", "name_taken"}, {"title", cleaned}});
                  return;
              }
              auto answered = firstRow(
                  "source", "rename_source",
                  [cleaned](const Json& row) { return json::string(row, "title") == cleaned; },
                  [changed](Json row, Done done) {
                      (*changed)("rename_source");
                      done(Json{{"status", "ok"}, {"source", std::move(row)}});
                  },
                  std::move(completion));
              answered(std::move(rows));
          });
}

void ServerLibraryWriter::moveFolder(std::string id, std::optional<std::string> parentID,
                                     Done completion) {
    if (!signedIn(*session_, completion)) {
        return;
    }
    Json body{{"p_folder_id", id}, {"p_new_parent_id", parentID ? Json(*parentID) : Json(nullptr)}};
    // The answer is the moved folder's row, live, under the parent asked for.
    auto check = [id, parentID](const Json& row) {
        return !row.empty() && json::string(row, "folder_id") == id &&
               shows(row, "parent_id", parentID) && presentNull(row, "deleted_at") &&
               row.contains("name") && row.contains("position");
    };
    confirmedRpc(server_, sourcesChanged_, "move_folder_safe_v1", std::move(body), check,
                 "move_folder", "move_folder", std::move(completion));
}

void ServerLibraryWriter::moveSource(std::string id, std::optional<std::string> folderID,
                                     Done completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    auto server = server_;
    std::string path = "/rest/v1/sources?" + owner(*user) + "&source_id=eq." +
                       PostgRESTFilter::value(id) + "&deleted_at=is.null&select=" + sourceColumns;
    whenAliveFolder(
        server, folderID, *user, "destination_folder", std::move(completion),
        [server, path = std::move(path), folderID](Done done) mutable {
            patch(server, std::move(path),
                  Json{{"folder_id", folderID ? Json(*folderID) : Json(nullptr)}},
                  firstRow(
                      "source", "move_source",
                      [folderID](const Json& row) { return shows(row, "folder_id", folderID); },
                      [](Json row, Done finished) { finished(std::move(row)); }, std::move(done)));
        });
}

namespace {

struct Reorder {
    std::shared_ptr<ServerCalling> server;
    std::string user;
    std::vector<std::string> ordered;
    std::map<std::string, std::int64_t> positions;
    size_t next = 0;
    size_t written = 0;
    Done completion;
};

// Writes the index of every folder not already there, one request at a time, in list order.
void writePositions(const std::shared_ptr<Reorder>& reorder) {
    StepLoop::run([reorder](Completion<void(bool)> again) {
        auto& r = *reorder;
        while (r.next < r.ordered.size() &&
               r.positions[r.ordered[r.next]] == static_cast<std::int64_t>(r.next)) {
            ++r.next;
        }
        if (r.next == r.ordered.size()) {
            again(false);
            Log::write("manage", "reorder_folders n=" + std::to_string(r.ordered.size()) +
                                     " written=" + std::to_string(r.written));
            r.completion(Json{{"reordered", r.ordered.size()}});
            return;
        }
        const size_t index = r.next++;
        const std::string& id = r.ordered[index];
        patch(r.server,
              "/rest/v1/folders?" + owner(r.user) + "&folder_id=eq." + PostgRESTFilter::value(id) +
                  "&deleted_at=is.null&select=folder_id",
              Json{{"position", index}},
              firstRow(
                  "folder", "reorder_folders",
                  [id](const Json& row) { return json::string(row, "folder_id") == id; },
                  [reorder](Json row, Done written) {
                      ++reorder->written;
                      written(std::move(row));
                  },
                  [reorder, again = std::move(again)](LibraryWriteResult<Json> result) mutable {
                      if (result) {
                          again(true);
                          return;
                      }
                      again(false);
                      reorder->completion(fail(std::move(result.error())));
                  }));
    });
}

}  // namespace

void ServerLibraryWriter::reorderFolders(std::optional<std::string> parentID,
                                         std::vector<std::string> orderedIDs, Done completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    auto reorder = std::make_shared<Reorder>();
    reorder->server = server_;
    reorder->user = *user;
    reorder->ordered = std::move(orderedIDs);
    reorder->completion = std::move(completion);
    LibraryPaging::pagedRows(
        server_,
        "/rest/v1/folders?select=folder_id,position&" + owner(*user) + "&deleted_at=is.null&" +
            parentFilter("parent_id", parentID) + "&order=folder_id.asc",
        "folders", timeout, LibraryPaging::maxPages, [reorder](RowsResult siblings) {
            if (!siblings) {
                reorder->completion(fail(LibraryWriteFailure(std::move(siblings.error()))));
                return;
            }
            for (const auto& row : *siblings) {
                if (auto id = json::string(row, "folder_id")) {
                    reorder->positions[*id] = json::integer(row, "position").value_or(-1);
                }
            }
            const std::set<std::string> ordered(reorder->ordered.begin(), reorder->ordered.end());
            bool same = reorder->ordered.size() == reorder->positions.size() &&
                        ordered.size() == reorder->ordered.size();
            for (auto it = reorder->positions.begin(); same && it != reorder->positions.end();
                 ++it) {
                same = ordered.contains(it->first);
            }
            if (!same) {
                reorder->completion(fail(refusal(LibraryWriteError::siblingsChanged())));
                return;
            }
            writePositions(reorder);
        });
}

void ServerLibraryWriter::deleteFolder(std::string id, Done completion) {
    if (!signedIn(*session_, completion)) {
        return;
    }
    auto check = [](const Json& answer) {
        return json::string(answer, "deleted_at").has_value() &&
               allCounts(answer, {"folders", "sources", "words", "sentences"});
    };
    confirmedRpc(server_, sourcesChanged_, "delete_folder_tx", Json{{"p_folder_id", id}}, check,
                 "delete_folder", "delete_folder", std::move(completion));
}

void ServerLibraryWriter::deleteSource(std::string id, Done completion) {
    if (!signedIn(*session_, completion)) {
        return;
    }
    auto check = [](const Json& answer) {
        return json::string(answer, "deleted_at").has_value() &&
               allCounts(answer, {"sources", "words", "sentences"});
    };
    confirmedRpc(server_, sourcesChanged_, "delete_source_tx", Json{{"p_source_id", id}}, check,
                 "delete_source", "delete_source", std::move(completion));
}

void ServerLibraryWriter::deleteWord(std::string id,
                                     Completion<void(LibraryWriteResult<std::string>)> completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    patch(server_,
          "/rest/v1/words?" + owner(*user) + "&word_id=eq." + PostgRESTFilter::value(id) +
              "&deleted_at=is.null&select=word_id,deleted_at",
          Json{{"deleted_at", isoTimestamp(clock_->now(), true)}},
          [completion = std::move(completion)](LibraryWriteResult<Rows> rows) mutable {
              if (!rows) {
                  completion(fail(std::move(rows.error())));
              } else if (rows->empty()) {
                  completion(fail(refusal(LibraryWriteError::notFound("word"))));
              } else if (auto stamp = json::string(rows->front(), "deleted_at")) {
                  completion(std::move(*stamp));
              } else {
                  completion(fail(refusal(LibraryWriteError::outcomeUnknown("delete_word"))));
              }
          });
}

void ServerLibraryWriter::restoreFolder(std::string id, Done completion) {
    if (!signedIn(*session_, completion)) {
        return;
    }
    auto check = [](const Json& answer) {
        const Json* restored = json::object(answer, "restored");
        return restored && allCounts(*restored, {"folders", "sources", "words", "sentences"}) &&
               json::array(answer, "skipped_sources");
    };
    confirmedRpc(server_, sourcesChanged_, "restore_folder_tx", Json{{"p_folder_id", id}}, check,
                 "restore_folder", "restore_folder", std::move(completion));
}

void ServerLibraryWriter::restoreSource(std::string id, Done completion) {
    if (!signedIn(*session_, completion)) {
        return;
    }
    auto check = [](const Json& answer) {
        const Json* restored = json::object(answer, "restored");
        return restored && allCounts(*restored, {"sources", "words", "sentences"}) &&
               json::boolean(answer, "moved_to_root").has_value();
    };
    confirmedRpc(server_, sourcesChanged_, "restore_source_tx", Json{{"p_source_id", id}}, check,
                 "restore_source", "restore_source", std::move(completion));
}

namespace {

struct Leaf {
    const char* table;
    const char* key;
    const char* columns;
    const char* what;
};

// Takes one word or sentence out of the trash and tells whether its source is in the trash too.
void restoreLeaf(const std::shared_ptr<ServerCalling>& server, const Changed& changed,
                 const std::string& user, const Leaf& leaf, const std::string& id, Done done) {
    const std::string reason = std::string("restore_") + leaf.what;
    patch(server,
          std::string("/rest/v1/") + leaf.table + "?" + owner(user) + "&" + leaf.key + "=eq." +
              PostgRESTFilter::value(id) + "&deleted_at=not.is.null&select=" + leaf.columns,
          Json{{"deleted_at", nullptr}},
          firstRow(
              leaf.what, reason, [](const Json& row) { return presentNull(row, "deleted_at"); },
              [server, changed, user, reason](Json row, Done finished) {
                  auto source = json::string(row, "source_id");
                  if (!source) {
                      (*changed)(reason);
                      finished(std::move(row));
                      return;
                  }
                  server->rows("/rest/v1/sources?select=source_id,deleted_at&" + owner(user) +
                                   "&source_id=eq." + PostgRESTFilter::value(*source) + "&limit=1",
                               timeout,
                               [changed, reason, row = std::move(row),
                                finished = std::move(finished)](RowsResult sources) mutable {
                                   // A failed look-up leaves the answer open (null): the word
                                   // is restored either way.
                                   Json needsRestore = nullptr;
                                   if (sources) {
                                       needsRestore = sources->empty() ||
                                                      !presentNull(sources->front(), "deleted_at");
                                   }
                                   row["source_requires_restore"] = std::move(needsRestore);
                                   (*changed)(reason);
                                   finished(std::move(row));
                               });
              },
              std::move(done)));
}

}  // namespace

void ServerLibraryWriter::restoreWord(std::string id, Done completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    restoreLeaf(server_, sourcesChanged_, *user,
                Leaf{"words", "word_id", "word_id,lemma,korean,source_id,deleted_at", "word"}, id,
                std::move(completion));
}

void ServerLibraryWriter::restoreSentence(std::string id, Done completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    restoreLeaf(server_, sourcesChanged_, *user,
                Leaf{"sentences", "sentence_id", "sentence_id,original,korean,source_id,deleted_at",
                     "sentence"},
                id, std::move(completion));
}

}  // namespace parlendo
