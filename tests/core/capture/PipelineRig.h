#pragma once

#include "CaptureQueues.h"
#include "FakePopupPresenter.h"
#include "FakeSaveBackend.h"
#include "FakeSentenceSaver.h"
#include "FakeSession.h"
#include "FakeSourceResolver.h"
#include "FakeTitleVectors.h"
#include "FakeTranslator.h"
#include "FakeWordLookup.h"
#include "capture/CapturePipeline.h"
#include "capture/FixedPopupSettings.h"
#include "foundation/Uuid.h"
#include "lookup/TitleKey.h"
#include "saving/SaveRetry.h"

#include <memory>

namespace parlendo::testing {

// A capture pipeline over fakes of every service, on a fake clock with a manual main executor.
// Services answer only when the test says so, except the source resolver and the word save
// backend, which answer at once unless told to hold.
struct PipelineRig : CaptureQueues {
    // `journal` keeps the saves on their way; none keeps nothing.
    explicit PipelineRig(std::shared_ptr<SaveJournal> journal = nullptr) {
        words = WordSaver::make(backend, 3, SaveRetry::backoff, timers);
        words->setOnOutcome([this](const WordSaver::Outcome& outcome) {
            outcomes.push_back(outcome);
            titleRequestsAtOutcome = titleVectors->requests().size();
        });
        CapturePipeline::Services services;
        services.popups = popups;
        services.settings = settings;
        services.lookup = lookup;
        services.translator = translator;
        services.sources = sources;
        services.words = words;
        services.sentences = sentences;
        services.titleVectors = titleVectors;
        services.session = session;
        services.timers = timers;
        services.main = main;
        services.clock = clock;
        services.journal = std::move(journal);
        pipeline = CapturePipeline::make(std::move(services));
        pipeline->unsaved = unsaved;
        pipeline->isOffline = [this] {
            return offline;
        };
        pipeline->onPopupsRejected = [this](int n) {
            rejectedCards.push_back(n);
        };
        pipeline->onSentenceOutcome = [this](const SentenceWork& work,
                                             const SentenceSaveOutcome& outcome) {
            sentenceOutcomes.emplace_back(work, outcome);
        };
    }

    static PopupSetting setting(const std::string& name, std::vector<std::string> contents,
                                bool save = true, double duration = 3.0) {
        PopupOptions options;
        options.duration = duration;
        return PopupSetting("id-" + name, name, std::move(contents), save, options);
    }

    CaptureSnapshot snapshot(const std::string& text) const {
        return CaptureSnapshot(uuid::makeUpper(), text, clock->now(),
                               WindowIdentity(4242, "org.gnome.TextEditor", "Reading notes"),
                               "Reading notes", std::nullopt, std::nullopt);
    }

    // The key a capture's title vector is asked for.
    static std::optional<std::string> key(const CaptureSnapshot& s) {
        return TitleKey::key(TitleKey::documentTitle(s.title, s.window->bundleID, s.documentURL));
    }

    // Begins and completes one capture; `completed` turns true once `complete` is done.
    CapturePipeline::Started capture(const std::string& text,
                                     PopupAnchor anchor = PopupAnchor::mouse()) {
        auto started = pipeline->begin(snapshot(text), anchor);
        completed = false;
        pipeline->complete(started, [this] { completed = true; });
        main->runAll();
        return started;
    }

    std::shared_ptr<FakePopupPresenter> popups = std::make_shared<FakePopupPresenter>();
    std::shared_ptr<FixedPopupSettings> settings =
        std::make_shared<FixedPopupSettings>(std::vector<PopupSetting>{
            setting("단어", {"korean"}), setting("문장", {"translation"}, false)});
    std::shared_ptr<FakeWordLookup> lookup = std::make_shared<FakeWordLookup>();
    std::shared_ptr<FakeTranslator> translator = std::make_shared<FakeTranslator>();
    std::shared_ptr<FakeSourceResolver> sources = std::make_shared<FakeSourceResolver>();
    std::shared_ptr<FakeSession> session = std::make_shared<FakeSession>();
    std::shared_ptr<FakeSaveBackend> backend = std::make_shared<FakeSaveBackend>(session);
    std::shared_ptr<WordSaver> words;
    std::shared_ptr<FakeSentenceSaver> sentences = std::make_shared<FakeSentenceSaver>();
    std::shared_ptr<FakeTitleVectors> titleVectors = std::make_shared<FakeTitleVectors>();
    std::shared_ptr<UnsavedCounter> unsaved = std::make_shared<UnsavedCounter>();
    std::shared_ptr<CapturePipeline> pipeline;

    bool offline = false;
    bool completed = false;
    std::vector<int> rejectedCards;
    std::vector<WordSaver::Outcome> outcomes;
    size_t titleRequestsAtOutcome = 0;
    std::vector<std::pair<SentenceWork, SentenceSaveOutcome>> sentenceOutcomes;
};

}  // namespace parlendo::testing
