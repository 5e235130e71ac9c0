#include "popups/PopupSettingsRoutes.h"

#include "foundation/Overloaded.h"

namespace parlendo {
namespace {

using WriteResult = Result<Json, ManageContract::WriteError>;
using WriteDone = Completion<void(WriteResult)>;

// Adapts a store completion to the write wrapper's.
Completion<void(PopupStoreResult)> toWrite(WriteDone done) {
    return [done = std::move(done)](PopupStoreResult result) mutable {
        if (result) {
            done(std::move(*result));
        } else {
            done(fail(PopupSettingsRoutes::writeError(result.error())));
        }
    };
}

WriteResult refused(const char* what) {
    return fail(PopupSettingsRoutes::writeError(LibraryWriteError::invalid(what)));
}

const Json* objectArgument(const BridgeArgs& args, size_t index) {
    const Json* value = args.any(index);
    return value && value->is_object() ? value : nullptr;
}

std::optional<Json> optionalObject(const BridgeArgs& args, size_t index) {
    const Json* value = objectArgument(args, index);
    return value ? std::optional<Json>(*value) : std::nullopt;
}

}  // namespace

PopupSettingsRoutes::PopupSettingsRoutes(std::shared_ptr<PopupSettingsStore> store,
                                         std::shared_ptr<PopupDraftService> draft, ExecutorPtr main)
    : store_(std::move(store)), draft_(std::move(draft)), main_(std::move(main)) {}

ManageContract::WriteError PopupSettingsRoutes::writeError(const PopupStoreError& error) {
    return std::visit(
        overloaded{
            [](const CallFailure& failure) { return ManageContract::WriteError(failure); },
            [](const LibraryWriteError& refusal) {
                return ManageContract::WriteError(
                    ManageContract::WriteError::Writer{refusal.reason(), refusal.writeErrorCode()});
            },
        },
        error);
}

std::map<std::string, BridgeEntry> PopupSettingsRoutes::routes() const {
    auto store = store_;
    auto draft = draft_;
    auto main = main_;
    std::map<std::string, BridgeEntry> table;

    table.emplace(
        "propose_custom",
        BridgeEntry::implemented(
            [draft, main](const BridgeArgs& args, Completion<void(BridgeReply)> done) {
                draft->propose(args.string(0), [main, done = std::move(done)](Json reply) mutable {
                    if (!main || main->isCurrent()) {
                        done(BridgeReply::ok(std::move(reply)));
                        return;
                    }
                    main->post([done = std::move(done), reply = std::move(reply)]() mutable {
                        done(BridgeReply::ok(std::move(reply)));
                    });
                });
            }));

    table.emplace("toggle_assistant",
                  BridgeEntry::implemented(
                      [store](const BridgeArgs& args, Completion<void(BridgeReply)> done) {
                          auto id = args.string(0);
                          auto enabled = ManageContract::boolean(args.any(1));
                          ManageContract::writing(
                              [store, id, enabled](WriteDone write) mutable {
                                  if (!enabled) {
                                      write(refused("popup_enabled"));
                                      return;
                                  }
                                  store->toggle(id, *enabled, toWrite(std::move(write)));
                              },
                              std::move(done));
                      }));

    table.emplace("delete_assistant",
                  BridgeEntry::implemented(
                      [store](const BridgeArgs& args, Completion<void(BridgeReply)> done) {
                          auto id = args.string(0);
                          ManageContract::writing(
                              [store, id](WriteDone write) mutable {
                                  store->remove(id, toWrite(std::move(write)));
                              },
                              std::move(done));
                      }));

    table.emplace(
        "update_assistant", BridgeEntry::implemented([store](const BridgeArgs& args,
                                                             Completion<void(BridgeReply)> done) {
            auto id = args.string(0);
            auto name = args.optionalString(1);
            auto save = ManageContract::boolean(args.any(2));
            std::optional<std::vector<std::string>> contents;
            if (const Json* list = args.any(3);
                list && list->is_array() &&
                std::all_of(list->begin(), list->end(),
                            [](const Json& v) { return v.is_string(); })) {
                contents = args.strings(3);
            }
            auto options = optionalObject(args, 4);
            ManageContract::writing(
                [store, id, name, save, contents, options](WriteDone write) mutable {
                    store->update(id, name, save, contents, options, toWrite(std::move(write)));
                },
                std::move(done));
        }));

    table.emplace(
        "save_assistant", BridgeEntry::implemented([store](const BridgeArgs& args,
                                                           Completion<void(BridgeReply)> done) {
            auto name = args.string(0);
            auto contents = args.strings(1);
            auto options = optionalObject(args, 2);
            auto save = ManageContract::boolean(args.any(3));
            ManageContract::writing(
                [store, name, contents, options, save](WriteDone write) mutable {
                    if (!save) {
                        write(refused("popup_save"));
                        return;
                    }
                    store->create(name, contents, options, *save, toWrite(std::move(write)));
                },
                std::move(done));
        }));
    return table;
}

}  // namespace parlendo
