#include "lookup/TitleVectorUploader.h"

#include "foundation/Log.h"
#include "foundation/WorkerQueue.h"

#include <cstdio>
#include <future>

namespace parlendo {

namespace {

constexpr std::string_view tag = "title_vec";

std::string lineOf(const TitleVectorUploader::Stats& s) {
    return "stats prewarm=0 upload=" + std::to_string(s.upload) +
           " upload_ok=" + std::to_string(s.uploadOK) + " embed=" + std::to_string(s.embed);
}

}  // namespace

// One upload of a title key for one source id. Each step runs where the previous call completed;
// the upload ends when the last step lets go of it, which releases its request on the queue.
struct TitleVectorUploader::Upload : std::enable_shared_from_this<Upload> {
    std::shared_ptr<TitleVectorUploader> owner;
    std::string titleKey;
    std::string sourceID;
    std::optional<std::string> user;  // the signed-in user when the request was made
    int revision = 0;
    double savedAt = 0;
    Completion<void()> ended;

    ~Upload() {
        if (ended) {
            ended();
        }
    }

    bool current() const { return owner->cache_.revision() == revision; }
    bool accountChanged() const { return owner->session_->userID() != user; }

    void start() {
        if (!owner->embedder_->enabled() || !owner->session_->isLoggedIn() || accountChanged()) {
            return;
        }
        if (!owner->backgroundAllowed()) {
            Log::write(tag, "건너뜀 reason=server_gate");
            return;
        }
        owner->cache_.whenSettled(titleKey,
                                  [self = shared_from_this()](TitleVectorCache::Settled settled) {
                                      self->settled(std::move(settled));
                                  });
    }

    void settled(TitleVectorCache::Settled settled) {
        if (settled.kind == TitleVectorCache::Settled::Kind::stored) {
            return;
        }
        owner->store_->presence(titleKey, std::string(embedModel),
                                [self = shared_from_this(), settled = std::move(settled)](
                                    TitleVectorPresence presence) mutable {
                                    self->checked(presence, std::move(settled));
                                });
    }

    void checked(TitleVectorPresence presence, TitleVectorCache::Settled settled) {
        switch (presence) {
            case TitleVectorPresence::present:
                if (current()) {
                    owner->cache_.markStored(titleKey, revision);
                }
                Log::write(tag, "서버에 이미 있음 — 건너뜀");
                return;
            case TitleVectorPresence::unknown:
                Log::write(tag, "건너뜀 reason=exists_failed — 다음 저장 때 다시");
                return;
            case TitleVectorPresence::absent:
                break;
        }
        if (accountChanged() || !current()) {
            Log::write(tag, "건너뜀 reason=account_changed");
            return;
        }
        if (settled.kind == TitleVectorCache::Settled::Kind::vector) {
            writeIfCurrent(std::move(settled.vector));
            return;
        }
        auto claim = owner->cache_.begin(titleKey);
        if (!claim) {
            // Someone else is embedding this title (or just did): use their vector.
            owner->cache_.whenSettled(
                titleKey, [self = shared_from_this()](TitleVectorCache::Settled again) {
                    if (again.kind == TitleVectorCache::Settled::Kind::vector) {
                        self->writeIfCurrent(std::move(again.vector));
                    }
                });
            return;
        }
        owner->admitEmbed([self = shared_from_this(), claimed = *claim](bool admitted) {
            self->embed(admitted, claimed);
        });
    }

    void embed(bool admitted, int claimed) {
        if (!admitted) {
            owner->cache_.finish(titleKey, claimed, TitleVectorCache::Outcome::failed());
            return;
        }
        owner->count(&Stats::embed);
        owner->embedder_->embed(
            titleKey, [self = shared_from_this(), claimed](EmbedClient::Outcome vector) {
                if (!vector) {
                    self->owner->cache_.finish(self->titleKey, claimed,
                                               TitleVectorCache::Outcome::failed());
                    Log::write(tag, "임베딩 없음 — 이번 제목은 정렬 없이 간다");
                    return;
                }
                self->owner->cache_.finish(self->titleKey, claimed,
                                           TitleVectorCache::Outcome::makeVector(*vector));
                self->writeIfCurrent(std::move(*vector));
            });
    }

    void writeIfCurrent(std::vector<double> vector) {
        if (!current()) {
            return;
        }
        owner->count(&Stats::upload);
        owner->store_->upsert(titleKey, sourceID, std::move(vector), std::string(embedModel),
                              [self = shared_from_this()](bool written) {
                                  if (written) {
                                      self->written();
                                  }
                              });
    }

    void written() {
        if (current()) {
            owner->cache_.markStored(titleKey, revision);
        }
        owner->count(&Stats::uploadOK);
        char ms[64];
        std::snprintf(ms, sizeof ms, "%.0f", (owner->clock_->uptime() - savedAt) * 1000);
        Log::write(tag, "업로드됨 key=" + Log::redact(titleKey) + " save_to_upload_ms=" + ms);
    }
};

ExecutorPtr TitleVectorUploader::sharedQueue() {
    static auto* queue = new SerialQueue("parlendo.title_vec");
    return ExecutorPtr(ExecutorPtr{}, queue);  // not owned: lives as long as the process
}

std::shared_ptr<TitleVectorUploader> TitleVectorUploader::make(
    std::shared_ptr<TitleVectorStore> store, std::shared_ptr<TitleEmbedding> embedder,
    std::shared_ptr<SessionProviding> session, ExecutorPtr queue,
    std::shared_ptr<const MonotonicClock> clock) {
    return std::make_shared<TitleVectorUploader>(
        std::move(store), std::move(embedder), std::move(session),
        queue ? std::move(queue) : sharedQueue(), clock ? std::move(clock) : SystemClock::shared());
}

TitleVectorUploader::TitleVectorUploader(std::shared_ptr<TitleVectorStore> store,
                                         std::shared_ptr<TitleEmbedding> embedder,
                                         std::shared_ptr<SessionProviding> session,
                                         ExecutorPtr queue,
                                         std::shared_ptr<const MonotonicClock> clock)
    : store_(std::move(store)),
      embedder_(std::move(embedder)),
      session_(std::move(session)),
      queue_(std::move(queue)),
      clock_(std::move(clock)),
      cache_([clock = clock_] { return clock->uptime(); }) {}

void TitleVectorUploader::request(std::optional<std::string> titleKey,
                                  std::optional<std::string> sourceID) {
    request(std::move(titleKey), std::move(sourceID), nullptr);
}

void TitleVectorUploader::request(std::optional<std::string> titleKey,
                                  std::optional<std::string> sourceID, Completion<void()> done) {
    if (!titleKey || titleKey->empty() || !sourceID) {
        done();
        return;
    }
    auto upload = std::make_shared<Upload>();
    upload->titleKey = std::move(*titleKey);
    upload->sourceID = std::move(*sourceID);
    upload->savedAt = clock_->uptime();
    upload->user = session_->userID();
    std::string requestKey = upload->titleKey + '\0' + upload->sourceID;

    queue_->post([weak = weak_from_this(), upload = std::move(upload),
                  requestKey = std::move(requestKey), done = std::move(done)]() mutable {
        auto self = weak.lock();
        if (!self || self->inFlight_.contains(requestKey)) {
            done();
            return;
        }
        self->inFlight_.insert(requestKey);
        upload->owner = self;
        upload->revision = self->cache_.revision();
        upload->ended = [weak, queue = self->queue_, requestKey, done = std::move(done)]() mutable {
            queue->post([weak, requestKey, done = std::move(done)]() mutable {
                if (auto owner = weak.lock()) {
                    owner->inFlight_.erase(requestKey);
                }
                done();
            });
        };
        std::shared_ptr<Upload> running = std::move(upload);
        running->start();
    });
}

template <class F>
auto TitleVectorUploader::onQueue(F read) const {
    if (queue_->isCurrent()) {
        return read();
    }
    using T = decltype(read());
    auto promise = std::make_shared<std::promise<T>>();
    auto future = promise->get_future();
    queue_->post([promise, read]() mutable { promise->set_value(read()); });
    try {
        return future.get();
    } catch (const std::future_error&) {
        return read();  // the queue is shutting down: nothing else touches the state any more
    }
}

TitleVectorUploader::Stats TitleVectorUploader::stats() const {
    return onQueue([this] { return counts_; });
}

std::string TitleVectorUploader::statsLine() const {
    return lineOf(stats());
}

void TitleVectorUploader::statsLine(Completion<void(std::string)> done) const {
    queue_->post([self = shared_from_this(), done = std::move(done)]() mutable {
        done(lineOf(self->counts_));
    });
}

void TitleVectorUploader::reset() {
    cache_.invalidate();
    queue_->post([weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->inFlight_.clear();
            self->attempts_ = 0;
            self->cappedLogged_ = false;
        }
    });
}

void TitleVectorUploader::setBackgroundAllowed(std::function<bool()> allowed) {
    std::lock_guard lock(allowedMutex_);
    backgroundAllowed_ = std::move(allowed);
}

bool TitleVectorUploader::backgroundAllowed() const {
    std::function<bool()> allowed;
    {
        std::lock_guard lock(allowedMutex_);
        allowed = backgroundAllowed_;
    }
    return !allowed || allowed();
}

void TitleVectorUploader::count(int Stats::*field) {
    queue_->post([weak = weak_from_this(), field] {
        if (auto self = weak.lock()) {
            ++(self->counts_.*field);
        }
    });
}

void TitleVectorUploader::admitEmbed(Completion<void(bool)> answer) {
    queue_->post([weak = weak_from_this(), answer = std::move(answer)]() mutable {
        auto self = weak.lock();
        if (!self) {
            answer(false);
            return;
        }
        if (self->attempts_ < embedCap) {
            ++self->attempts_;
            answer(true);
            return;
        }
        if (!self->cappedLogged_) {
            self->cappedLogged_ = true;
            Log::write(tag, "세션 상한 " + std::to_string(embedCap) + " 도달 — 더 만들지 않음");
        }
        answer(false);
    });
}

}  // namespace parlendo
