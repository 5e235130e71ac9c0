// The server functions of the in-memory word book.
#include "StubLibrary.h"

#include <deque>
#include <set>

namespace parlendo::testing {
namespace {

StubLibrary::Response answer(int status, const Json& body) {
    return StubLibrary::Response{status, body.dump()};
}

StubLibrary::Response raised(const std::string& code, const std::string& message) {
    return answer(
        400, Json{{"code", code}, {"message", message}, {"details", nullptr}, {"hint", nullptr}});
}

bool alive(const Json& row) {
    auto it = row.find("deleted_at");
    return it == row.end() || it->is_null();
}

}  // namespace

StubLibrary::Response StubLibrary::function(const std::string& name, const Json& body) {
    if (name == "word_review_states") {
        Json out = Json::array();
        if (const Json* ids = json::array(body, "p_ids")) {
            for (const auto& id : *ids) {
                auto it = id.is_string() ? reviews_.find(id.get<std::string>()) : reviews_.end();
                if (it != reviews_.end()) {
                    out.push_back(Json{{"id", it->first},
                                       {"status", it->second.first},
                                       {"wrong_count", it->second.second}});
                }
            }
        }
        return answer(200, out);
    }
    if (name == "move_folder_safe_v1") {
        return moveFolder(body);
    }
    if (name == "delete_folder_tx") {
        return deleteFolder(body);
    }
    if (name == "delete_source_tx") {
        return deleteSource(body);
    }
    if (name == "restore_folder_tx") {
        return restoreFolder(body);
    }
    if (name == "restore_source_tx") {
        return restoreSource(body);
    }
    return answer(404, Json{{"code", "PGRST202"}, {"message", "no such function"}});
}

std::vector<std::string> StubLibrary::folderBranch(const std::string& folderID) const {
    std::vector<std::string> branch{folderID};
    std::set<std::string> seen{folderID};
    const auto& rows = tables_.at("folders").rows;
    for (size_t next = 0; next < branch.size(); ++next) {
        for (const auto& row : rows) {
            auto id = json::string(row, "folder_id");
            if (json::string(row, "parent_id") == branch[next] && id && seen.insert(*id).second) {
                branch.push_back(*id);
            }
        }
    }
    return branch;
}

std::pair<int, int> StubLibrary::cascade(const std::string& sourceID, const Json& from,
                                         const Json& to) {
    std::pair<int, int> counts{0, 0};
    for (const char* name : {"words", "sentences"}) {
        Table& table = tables_.at(name);
        for (size_t i : index(table, "source_id", sourceID)) {
            Json& row = table.rows[i];
            if (row.value("deleted_at", Json(nullptr)) == from) {
                row["deleted_at"] = to;
                ++(std::string(name) == "words" ? counts.first : counts.second);
            }
        }
    }
    return counts;
}

StubLibrary::Response StubLibrary::moveFolder(const Json& body) {
    auto id = json::string(body, "p_folder_id").value_or("");
    Json* folder = find("folders", id);
    if (!folder || json::string(*folder, "user_id") != user_ || !alive(*folder)) {
        return raised("P0002", "folder not found");
    }
    Json parent = body.value("p_new_parent_id", Json(nullptr));
    if (parent.is_string()) {
        Json* target = find("folders", parent.get<std::string>());
        if (!target || json::string(*target, "user_id") != user_ || !alive(*target)) {
            return raised("P0002", "parent not found");
        }
        auto branch = folderBranch(id);
        if (std::find(branch.begin(), branch.end(), parent.get<std::string>()) != branch.end()) {
            return raised("P0001", "a folder cannot move under itself");
        }
    } else {
        parent = nullptr;
    }
    int position = 0;
    for (const auto& row : tables_.at("folders").rows) {
        if (alive(row) && row.value("parent_id", Json(nullptr)) == parent &&
            json::string(row, "folder_id") != id) {
            position = std::max(position, static_cast<int>(row.value("position", 0)) + 1);
        }
    }
    (*folder)["parent_id"] = parent;
    (*folder)["position"] = position;
    ++tables_.at("folders").version;
    return answer(200, Json{{"folder_id", id},
                            {"name", (*folder)["name"]},
                            {"parent_id", parent},
                            {"position", position},
                            {"deleted_at", nullptr}});
}

StubLibrary::Response StubLibrary::deleteFolder(const Json& body) {
    auto id = json::string(body, "p_folder_id").value_or("");
    Json* folder = find("folders", id);
    if (!folder || json::string(*folder, "user_id") != user_ || !alive(*folder)) {
        return raised("P0002", "folder not found");
    }
    const std::string when = stamp();
    int folders = 0, sources = 0, words = 0, sentences = 0;
    std::set<std::string> branch;
    for (const auto& member : folderBranch(id)) {
        Json* row = find("folders", member);
        if (row && alive(*row)) {
            (*row)["deleted_at"] = when;
            branch.insert(member);
            ++folders;
        }
    }
    for (auto& row : tables_.at("sources").rows) {
        auto folderID = json::string(row, "folder_id");
        if (alive(row) && folderID && branch.contains(*folderID)) {
            row["deleted_at"] = when;
            ++sources;
            auto [w, s] = cascade(*json::string(row, "source_id"), nullptr, when);
            words += w;
            sentences += s;
        }
    }
    return answer(200, Json{{"deleted_at", when},
                            {"folders", folders},
                            {"sources", sources},
                            {"words", words},
                            {"sentences", sentences}});
}

StubLibrary::Response StubLibrary::deleteSource(const Json& body) {
    auto id = json::string(body, "p_source_id").value_or("");
    Json* source = find("sources", id);
    if (!source || json::string(*source, "user_id") != user_ || !alive(*source)) {
        return raised("P0002", "source not found");
    }
    const std::string when = stamp();
    (*source)["deleted_at"] = when;
    auto [words, sentences] = cascade(id, nullptr, when);
    return answer(
        200,
        Json{{"deleted_at", when}, {"sources", 1}, {"words", words}, {"sentences", sentences}});
}

StubLibrary::Response StubLibrary::restoreFolder(const Json& body) {
    auto id = json::string(body, "p_folder_id").value_or("");
    Json* folder = find("folders", id);
    if (!folder || json::string(*folder, "user_id") != user_ || alive(*folder)) {
        return raised("P0002", "folder not in the trash");
    }
    const Json when = (*folder)["deleted_at"];
    if (auto parent = json::string(*folder, "parent_id")) {
        Json* above = find("folders", *parent);
        if (!above || !alive(*above)) {
            (*folder)["parent_id"] = nullptr;
            ++tables_.at("folders").version;
        }
    }
    int folders = 0, sources = 0, words = 0, sentences = 0;
    std::set<std::string> restored;
    for (const auto& member : folderBranch(id)) {
        Json* row = find("folders", member);
        if (row && (*row)["deleted_at"] == when) {
            (*row)["deleted_at"] = nullptr;
            restored.insert(member);
            ++folders;
        }
    }
    Json skipped = Json::array();
    for (auto& row : tables_.at("sources").rows) {
        auto folderID = json::string(row, "folder_id");
        if (!folderID || !restored.contains(*folderID) || row["deleted_at"] != when) {
            continue;
        }
        auto sourceID = *json::string(row, "source_id");
        if (titleTaken(user_, row.value("title", ""), sourceID)) {
            skipped.push_back(Json{{"source_id", sourceID}, {"title", row["title"]}});
            continue;
        }
        row["deleted_at"] = nullptr;
        ++sources;
        auto [w, s] = cascade(sourceID, when, nullptr);
        words += w;
        sentences += s;
    }
    return answer(200, Json{{"restored",
                             {{"folders", folders},
                              {"sources", sources},
                              {"words", words},
                              {"sentences", sentences}}},
                            {"skipped_sources", skipped}});
}

StubLibrary::Response StubLibrary::restoreSource(const Json& body) {
    auto id = json::string(body, "p_source_id").value_or("");
    Json* source = find("sources", id);
    if (!source || json::string(*source, "user_id") != user_ || alive(*source)) {
        return raised("P0002", "source not in the trash");
    }
    if (titleTaken(user_, source->value("title", ""), id)) {
        return answer(409, Json{{"code", "23505"}, {"message", "duplicate key value"}});
    }
    const Json when = (*source)["deleted_at"];
    bool moved = false;
    if (auto folderID = json::string(*source, "folder_id")) {
        Json* folder = find("folders", *folderID);
        if (!folder || !alive(*folder)) {
            (*source)["folder_id"] = nullptr;
            ++tables_.at("sources").version;
            moved = true;
        }
    }
    (*source)["deleted_at"] = nullptr;
    auto [words, sentences] = cascade(id, when, nullptr);
    return answer(200,
                  Json{{"restored", {{"sources", 1}, {"words", words}, {"sentences", sentences}}},
                       {"moved_to_root", moved}});
}

}  // namespace parlendo::testing
