#include "wordbook/LibraryModel.h"
#include "wordbook/LibraryPaging.h"
#include "wordbook/LibraryReader.h"

#include "server/PostgRESTFilter.h"

#include <unordered_set>

namespace parlendo {
namespace {

using LibraryPaging::owner;
using LibraryPaging::Rows;
using LibraryPaging::signedIn;
using ReadDone = Completion<void(LibraryReadResult)>;
using RowsDone = Completion<void(RowsResult)>;

constexpr const char* wordColumns = "word_id,lemma,korean,phonetic,created_at,source_id";
constexpr const char* newestWords = "&order=created_at.desc,word_id.desc";

// The page's word list, with the rows that cannot be shown left out ("capped" stays as counted).
Json checkedWords(Json page) {
    Json* words = page.is_object() && page.contains("words") ? &page["words"] : nullptr;
    if (words && words->is_array()) {
        Rows rows(std::make_move_iterator(words->begin()), std::make_move_iterator(words->end()));
        *words = Json(LibraryPaging::checked(std::move(rows), "words", "word_id", "source_id"));
    }
    return page;
}

// The string ids of one column, in row order.
std::vector<std::string> idsOf(const Rows& rows, const char* key) {
    std::vector<std::string> ids;
    ids.reserve(rows.size());
    for (const auto& row : rows) {
        if (auto id = LibraryModel::id(row, key)) {
            ids.push_back(std::move(*id));
        }
    }
    return ids;
}

}  // namespace

ServerLibraryReader::ServerLibraryReader(std::shared_ptr<ServerCalling> server,
                                         std::shared_ptr<SessionProviding> session,
                                         size_t pageLimit, ExecutorPtr work, ExecutorPtr main)
    : server_(std::move(server)),
      session_(std::move(session)),
      pageLimit_(pageLimit),
      work_(std::move(work)),
      main_(std::move(main)) {}

std::string ServerLibraryReader::inList(const std::vector<std::string>& ids) {
    std::string out = "in.(";
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += PostgRESTFilter::value(ids[i]);
    }
    return out + ")";
}

std::vector<std::vector<std::string>> ServerLibraryReader::chunks(
    const std::vector<std::string>& ids, size_t size) {
    std::vector<std::vector<std::string>> out;
    for (size_t start = 0; start < ids.size(); start += size) {
        const size_t end = std::min(ids.size(), start + size);
        out.emplace_back(ids.begin() + static_cast<std::ptrdiff_t>(start),
                         ids.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return out;
}

void ServerLibraryReader::listFolders(RowsDone completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    LibraryPaging::checkedPagedRows(
        server_,
        "/rest/v1/folders?select=folder_id,name,parent_id,position&" + owner(*user) +
            "&deleted_at=is.null&order=position.asc,created_at.asc,folder_id.asc",
        "folders", "folder_id", "parent_id", timeout, pageLimit_, std::move(completion));
}

void ServerLibraryReader::loadTree(ReadDone completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    auto server = server_;
    const size_t pageLimit = pageLimit_;
    listFolders([server, pageLimit, work = work_, main = main_, user = *user,
                 completion = std::move(completion)](RowsResult folders) mutable {
        if (!folders) {
            completion(fail(std::move(folders.error())));
            return;
        }
        LibraryPaging::checkedPagedRows(
            server,
            "/rest/v1/sources?select=source_id,title,folder_id,last_seen_at,url&" + owner(user) +
                "&deleted_at=is.null&order=last_seen_at.desc,source_id.asc",
            "sources", "source_id", "folder_id", timeout, pageLimit,
            [folders = std::move(*folders), completion = std::move(completion), work,
             main](RowsResult sources) mutable {
                if (!sources) {
                    completion(fail(std::move(sources.error())));
                    return;
                }
                if (!work || !main) {
                    completion(LibraryModel::tree(std::move(folders), std::move(*sources)));
                    return;
                }
                // Tens of thousands of sources take a while to sort into their folders.
                work->post([folders = std::move(folders), sources = std::move(*sources),
                            completion = std::move(completion), main]() mutable {
                    auto tree = LibraryModel::tree(std::move(folders), std::move(sources));
                    main->post(
                        [tree = std::move(tree), completion = std::move(completion)]() mutable {
                            completion(std::move(tree));
                        });
                });
            });
    });
}

void ServerLibraryReader::listWords(std::string sourceID, ReadDone completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    std::string path = std::string("/rest/v1/words?select=") + wordColumns + "&" + owner(*user) +
                       "&source_id=eq." + PostgRESTFilter::value(sourceID) + "&deleted_at=is.null" +
                       newestWords + "&limit=" + std::to_string(LibraryModel::wordPageCap);
    server_->rows(std::move(path), timeout,
                  [completion = std::move(completion)](RowsResult rows) mutable {
                      if (!rows) {
                          completion(fail(std::move(rows.error())));
                          return;
                      }
                      auto page = LibraryModel::wordPage(*rows, LibraryModel::wordPageCap);
                      if (!page) {
                          completion(fail(CallFailure::badShape()));
                          return;
                      }
                      completion(checkedWords(std::move(*page)));
                  });
}

void ServerLibraryReader::wordsUnderFolder(std::optional<std::string> folderID, int cap,
                                           ReadDone completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    const std::string limit = "&limit=" + std::to_string(LibraryModel::wordChunkLimit(cap));
    const std::string words = std::string("/rest/v1/words?select=") + wordColumns + "&" +
                              owner(*user) + "&deleted_at=is.null";
    auto finish = [cap](ReadDone& done, LibraryPaging::RowLists found) {
        if (!found) {
            done(fail(std::move(found.error())));
            return;
        }
        done(checkedWords(LibraryModel::mergeWords(*found, cap)));
    };
    if (!folderID) {
        server_->rows(words + newestWords + limit, timeout,
                      [finish, completion = std::move(completion)](RowsResult rows) mutable {
                          if (!rows) {
                              completion(fail(std::move(rows.error())));
                              return;
                          }
                          finish(completion, std::vector<Rows>{std::move(*rows)});
                      });
        return;
    }
    auto server = server_;
    const size_t pageLimit = pageLimit_;
    auto sources = "/rest/v1/sources?select=source_id&" + owner(*user) + "&deleted_at=is.null";
    listFolders([server, pageLimit, sources, words, limit, finish, folder = *folderID,
                 completion = std::move(completion)](RowsResult folders) mutable {
        if (!folders) {
            completion(fail(std::move(folders.error())));
            return;
        }
        auto folderChunks = std::make_shared<std::vector<std::vector<std::string>>>(
            chunks(LibraryModel::descendantFolderIDs(folder, *folders), idChunk));
        LibraryPaging::inSequence(
            folderChunks->size(),
            [server, pageLimit, sources, folderChunks](size_t index, RowsDone done) {
                LibraryPaging::pagedRows(server,
                                         sources + "&folder_id=" + inList((*folderChunks)[index]) +
                                             "&order=source_id.asc",
                                         "sources", timeout, pageLimit, std::move(done));
            },
            [server, words, limit, finish,
             completion = std::move(completion)](LibraryPaging::RowLists found) mutable {
                if (!found) {
                    completion(fail(std::move(found.error())));
                    return;
                }
                auto sourceChunks = std::make_shared<std::vector<std::vector<std::string>>>(
                    chunks(idsOf(LibraryPaging::joined(std::move(*found)), "source_id"), idChunk));
                LibraryPaging::inSequence(
                    sourceChunks->size(),
                    [server, words, limit, sourceChunks](size_t index, RowsDone done) {
                        server->rows(words + "&source_id=" + inList((*sourceChunks)[index]) +
                                         newestWords + limit,
                                     timeout, std::move(done));
                    },
                    [finish,
                     completion = std::move(completion)](LibraryPaging::RowLists lists) mutable {
                        finish(completion, std::move(lists));
                    });
            });
    });
}

void ServerLibraryReader::search(std::string query, ReadDone completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    auto pattern = LibraryModel::searchPattern(query);
    if (!pattern) {
        completion(*LibraryModel::searchPage({}));
        return;
    }
    const std::string p = PostgRESTFilter::value(*pattern);
    const std::string mine = "&" + owner(*user) + "&deleted_at=is.null";
    const auto& limits = LibraryModel::searchLimits();
    std::vector<std::string> targets{
        "/rest/v1/folders?select=folder_id,name" + mine + "&name=ilike." + p +
            "&order=name.asc,folder_id.asc&limit=" + std::to_string(limits.at("folder")),
        "/rest/v1/sources?select=source_id,title" + mine + "&title=ilike." + p +
            "&order=title.asc,source_id.asc&limit=" + std::to_string(limits.at("source")),
        "/rest/v1/words?select=word_id,lemma,korean,source_id,created_at,sources(title)" + mine +
            "&or=(lemma.ilike." + p + ",korean.ilike." + p + ")" + newestWords +
            "&limit=" + std::to_string(limits.at("word")),
    };
    auto server = server_;
    LibraryPaging::inSequence(
        targets.size(),
        [server, targets](size_t index, RowsDone done) {
            server->rows(targets[index], timeout, std::move(done));
        },
        [completion = std::move(completion)](LibraryPaging::RowLists lists) mutable {
            if (!lists) {
                completion(fail(std::move(lists.error())));
                return;
            }
            auto page = LibraryModel::searchPage(LibraryModel::searchResults(
                std::move((*lists)[0]), std::move((*lists)[1]), std::move((*lists)[2])));
            if (!page) {
                completion(fail(CallFailure::badShape()));
                return;
            }
            completion(std::move(*page));
        });
}

void ServerLibraryReader::reviewStates(std::vector<std::string> wordIDs, ReadDone completion) {
    if (wordIDs.empty()) {
        completion(Json::object());
        return;
    }
    auto server = server_;
    auto idChunks =
        std::make_shared<std::vector<std::vector<std::string>>>(chunks(wordIDs, reviewChunk));
    LibraryPaging::inSequence(
        idChunks->size(),
        [server, idChunks](size_t index, RowsDone done) {
            server->call("/rest/v1/rpc/word_review_states", "POST",
                         Json{{"p_ids", (*idChunks)[index]}}, timeout,
                         [done = std::move(done)](CallResult body) mutable {
                             if (!body) {
                                 done(fail(std::move(body.error())));
                                 return;
                             }
                             done(ServerCalling::parseRows(*body));
                         });
        },
        [wordIDs = std::move(wordIDs),
         completion = std::move(completion)](LibraryPaging::RowLists lists) mutable {
            if (!lists) {
                completion(fail(std::move(lists.error())));
                return;
            }
            completion(
                LibraryModel::reviewStates(wordIDs, LibraryPaging::joined(std::move(*lists))));
        });
}

void ServerLibraryReader::wordDetails(std::vector<std::string> wordIDs, ReadDone completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    if (wordIDs.empty()) {
        completion(Json::object());
        return;
    }
    auto server = server_;
    auto idChunks =
        std::make_shared<std::vector<std::vector<std::string>>>(chunks(wordIDs, idChunk));
    std::string base =
        "/rest/v1/words?select=word_id,korean,phonetic,word_senses(rank,korean,definition,example,"
        "pos)&" +
        owner(*user) + "&deleted_at=is.null&word_id=";
    LibraryPaging::inSequence(
        idChunks->size(),
        [server, idChunks, base](size_t index, RowsDone done) {
            server->rows(base + inList((*idChunks)[index]), timeout, std::move(done));
        },
        [completion = std::move(completion)](LibraryPaging::RowLists lists) mutable {
            if (!lists) {
                completion(fail(std::move(lists.error())));
                return;
            }
            completion(LibraryModel::wordDetails(LibraryPaging::joined(std::move(*lists))));
        });
}

void ServerLibraryReader::listTrash(ReadDone completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    auto server = server_;
    const size_t pageLimit = pageLimit_;
    const std::string mine = "&" + owner(*user) + "&deleted_at=not.is.null";
    struct Table {
        const char* name;
        const char* id;
        const char* parent;
        std::string target;
    };
    auto tables = std::make_shared<std::vector<Table>>(std::vector<Table>{
        {"folders", "folder_id", "parent_id",
         "/rest/v1/folders?select=folder_id,name,parent_id,deleted_at,position" + mine +
             "&order=folder_id.asc"},
        {"sources", "source_id", "folder_id",
         "/rest/v1/sources?select=source_id,title,url,folder_id,deleted_at" + mine +
             "&order=source_id.asc"},
        {"words", "word_id", "source_id",
         "/rest/v1/words?select=word_id,lemma,korean,source_id,deleted_at" + mine +
             "&order=word_id.asc"},
        {"sentences", "sentence_id", "source_id",
         "/rest/v1/sentences?select=sentence_id,original,korean,source_id,deleted_at" + mine +
             "&order=sentence_id.asc"},
    });
    const std::string aliveSources =
        "/rest/v1/sources?select=source_id&" + owner(*user) + "&deleted_at=is.null&source_id=";
    listFolders([server, pageLimit, tables, aliveSources,
                 completion = std::move(completion)](RowsResult folders) mutable {
        if (!folders) {
            completion(fail(std::move(folders.error())));
            return;
        }
        auto ids = idsOf(*folders, "folder_id");
        std::unordered_set<std::string> aliveFolders(ids.begin(), ids.end());
        LibraryPaging::inSequence(
            tables->size(),
            [server, pageLimit, tables](size_t index, RowsDone done) {
                const Table& table = (*tables)[index];
                LibraryPaging::checkedPagedRows(server, table.target, table.name, table.id,
                                                table.parent, timeout, pageLimit, std::move(done));
            },
            [server, aliveSources, aliveFolders = std::move(aliveFolders),
             completion = std::move(completion)](LibraryPaging::RowLists deleted) mutable {
                if (!deleted) {
                    completion(fail(std::move(deleted.error())));
                    return;
                }
                // The sources of deleted words, then of deleted sentences, each once.
                std::vector<std::string> sourceIDs;
                std::unordered_set<std::string> named;
                for (size_t list : {size_t{2}, size_t{3}}) {
                    for (auto& id : idsOf((*deleted)[list], "source_id")) {
                        if (named.insert(id).second) {
                            sourceIDs.push_back(std::move(id));
                        }
                    }
                }
                auto idChunks = std::make_shared<std::vector<std::vector<std::string>>>(
                    chunks(sourceIDs, idChunk));
                LibraryPaging::inSequence(
                    idChunks->size(),
                    [server, aliveSources, idChunks](size_t index, RowsDone done) {
                        server->rows(aliveSources + inList((*idChunks)[index]), timeout,
                                     std::move(done));
                    },
                    [deleted = std::move(*deleted), aliveFolders = std::move(aliveFolders),
                     completion = std::move(completion)](LibraryPaging::RowLists alive) mutable {
                        if (!alive) {
                            completion(fail(std::move(alive.error())));
                            return;
                        }
                        auto live = idsOf(LibraryPaging::joined(std::move(*alive)), "source_id");
                        std::unordered_set<std::string> aliveSourceIDs(live.begin(), live.end());
                        completion(LibraryModel::trash(deleted[0], deleted[1], deleted[2],
                                                       deleted[3], aliveFolders, aliveSourceIDs));
                    });
            });
    });
}

void ServerLibraryReader::assistants(RowsDone completion) {
    auto user = signedIn(*session_, completion);
    if (!user) {
        return;
    }
    server_->rows("/rest/v1/assistants?select=*&" + owner(*user) + "&order=position.asc", timeout,
                  [completion = std::move(completion)](RowsResult rows) mutable {
                      if (!rows) {
                          completion(fail(std::move(rows.error())));
                          return;
                      }
                      Json popups = LibraryModel::assistants(*rows);
                      completion(Rows(std::make_move_iterator(popups.begin()),
                                      std::make_move_iterator(popups.end())));
                  });
}

}  // namespace parlendo
