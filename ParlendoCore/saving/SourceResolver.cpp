#include "saving/SourceResolver.h"

#include "foundation/Log.h"
#include "foundation/Uuid.h"
#include "lookup/TitleKey.h"

namespace parlendo {

namespace {

std::string id8(const std::string& id) {
    return id.substr(0, 8);
}

void logDiscard() {
    Log::write("source", "출처 기억이 그 사이 비워짐 — 이번 판단을 버림");
}

}  // namespace

std::shared_ptr<SourceResolver> SourceResolver::make(std::shared_ptr<SourceStore> store) {
    return std::shared_ptr<SourceResolver>(new SourceResolver(std::move(store)));
}

SourceResolver::SourceResolver(std::shared_ptr<SourceStore> store) : store_(std::move(store)) {}

SourceResolver::Identity SourceResolver::identity(const CaptureSnapshot& snapshot) {
    const std::optional<std::string> bundleID =
        snapshot.window ? std::optional<std::string>(snapshot.window->bundleID) : std::nullopt;
    Identity out;
    out.title = TitleKey::normalize(
        TitleKey::documentTitle(snapshot.title, bundleID, snapshot.documentURL));
    out.url = snapshot.sourceURL();
    out.key = out.url ? "url:" + *out.url : "title:" + out.title;
    return out;
}

void SourceResolver::resolve(CaptureSnapshot snapshot,
                             Completion<void(std::optional<SourceRow>)> completion) {
    if (!snapshot.window) {
        completion(std::nullopt);
        return;
    }
    Identity id = identity(snapshot);
    Recall recall = remembered(id.key);
    switch (recall.kind) {
        case Memory::sameIdentity:
            completion(std::move(recall.row));
            return;
        case Memory::remembered:
            touch(recall.row->id);
            completion(std::move(recall.row));
            return;
        case Memory::notRemembered:
            break;
    }
    auto url = id.url;
    auto title = id.title;
    store_->find(std::move(url), std::move(title),
                 [self = shared_from_this(), id = std::move(id), generation = recall.generation,
                  completion = std::move(completion)](SourceFindResult found) mutable {
                     if (!found) {
                         Log::write("source",
                                    "찾기 실패 " + found.error().logReason() + " — 만들지 않음");
                         completion(std::nullopt);
                         return;
                     }
                     if (!*found) {
                         self->create(std::move(id), generation, std::move(completion));
                         return;
                     }
                     SourceRow row = std::move(**found);
                     if (!self->adopt(row, id.key, generation)) {
                         logDiscard();
                         completion(std::nullopt);
                         return;
                     }
                     self->touch(row.id);
                     Log::write("source", "기존 출처 재사용 " + id8(row.id) + "…");
                     completion(std::move(row));
                 });
}

void SourceResolver::create(Identity id, long long generation,
                            Completion<void(std::optional<SourceRow>)> completion) {
    const bool hadURL = id.url.has_value();
    auto url = id.url;
    auto title = id.title;
    store_->create(uuid::makeUpper(), std::move(title), std::move(url),
                   [self = shared_from_this(), key = std::move(id.key), generation, hadURL,
                    completion = std::move(completion)](std::optional<SourceRow> row) mutable {
                       if (!row) {
                           completion(std::nullopt);
                           return;
                       }
                       if (!self->adopt(*row, key, generation)) {
                           logDiscard();
                           completion(std::nullopt);
                           return;
                       }
                       Log::write("source", "새 출처 " + id8(row->id) +
                                                "… url=" + (hadURL ? "true" : "false"));
                       completion(std::move(row));
                   });
}

SourceResolver::Recall SourceResolver::remembered(const std::string& identity) {
    std::lock_guard lock(mutex_);
    if (lastIdentity_ == identity && current_) {
        return {Memory::sameIdentity, current_, generation_};
    }
    if (auto it = sessionCache_.find(identity); it != sessionCache_.end()) {
        current_ = it->second;
        lastIdentity_ = identity;
        return {Memory::remembered, it->second, generation_};
    }
    return {Memory::notRemembered, std::nullopt, generation_};
}

bool SourceResolver::adopt(const SourceRow& row, const std::string& identity,
                           long long generation) {
    std::lock_guard lock(mutex_);
    if (generation != generation_) {
        return false;
    }
    if (sessionCache_.insert_or_assign(identity, row).second) {
        sessionOrder_.push_back(identity);
        if (sessionOrder_.size() > sessionCapacity) {
            sessionCache_.erase(sessionOrder_.front());
            sessionOrder_.pop_front();
        }
    }
    current_ = row;
    lastIdentity_ = identity;
    return true;
}

size_t SourceResolver::rememberedCount() {
    std::lock_guard lock(mutex_);
    return sessionCache_.size();
}

void SourceResolver::touch(const std::string& id) {
    store_->touch(id, nullptr);
}

void SourceResolver::reset() {
    std::lock_guard lock(mutex_);
    sessionCache_.clear();
    sessionOrder_.clear();
    current_.reset();
    lastIdentity_.reset();
    ++generation_;
}

void SourceResolver::forget(const std::string& sourceID) {
    std::lock_guard lock(mutex_);
    std::erase_if(sessionCache_, [&](const auto& entry) { return entry.second.id == sourceID; });
    std::erase_if(sessionOrder_,
                  [&](const std::string& identity) { return !sessionCache_.contains(identity); });
    if (current_ && current_->id == sourceID) {
        current_.reset();
        lastIdentity_.reset();
    }
    ++generation_;
}

void SourceResolver::noteSaveOutcome(const WordSaver::Outcome& outcome) {
    if (outcome.result) {
        return;
    }
    const auto* terminal = outcome.result.error().as<SaveVerdict::Terminal>();
    if (!terminal || terminal->code != "source_not_found") {
        return;
    }
    forget(outcome.work.sourceID);
    Log::write("source",
               "출처 기억 버림 " + id8(outcome.work.sourceID) + "… — 저장 거부(source_not_found)");
}

bool SourceResolver::noteSentenceOutcome(const SentenceSaveOutcome& outcome,
                                         const std::string& sourceID) {
    const auto* rejected = outcome.as<SentenceSaveOutcome::Rejected>();
    if (!rejected || rejected->code != sentenceSourceMissingCode) {
        return false;
    }
    forget(sourceID);
    Log::write("source", "출처 기억 버림 " + id8(sourceID) + "… — 문장 저장 거부");
    return true;
}

}  // namespace parlendo
