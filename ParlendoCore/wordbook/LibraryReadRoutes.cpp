#include "wordbook/LibraryReadRoutes.h"

#include "wordbook/LibraryModel.h"
#include "wordbook/LibraryReader.h"

namespace parlendo {
namespace {

using Reply = Completion<void(BridgeReply)>;
using ReadDone = LibraryReadRoutes::ReadDone;

// A completion of rows that answers them as one JSON array.
Completion<void(RowsResult)> asArray(ReadDone done) {
    return [done = std::move(done)](RowsResult rows) mutable {
        if (!rows) {
            done(fail(std::move(rows.error())));
            return;
        }
        done(Json(std::move(*rows)));
    };
}

BridgeEntry reading(std::function<void(const BridgeArgs&, ReadDone)> read) {
    return BridgeEntry::implemented([read = std::move(read)](const BridgeArgs& args, Reply reply) {
        BridgeReply::reading([&read, &args](ReadDone done) { read(args, std::move(done)); },
                             std::move(reply));
    });
}

}  // namespace

LibraryReadRoutes::LibraryReadRoutes(std::shared_ptr<LibraryReader> library,
                                     ViewSettings viewSettings, SeedPopups popupDefaults)
    : library_(std::move(library)),
      viewSettings_(std::move(viewSettings)),
      popupDefaults_(std::move(popupDefaults)) {}

std::map<std::string, BridgeEntry> LibraryReadRoutes::routes() const {
    auto library = library_;
    std::map<std::string, BridgeEntry> table;
    table.emplace("load_tree", reading([library](const BridgeArgs&, ReadDone done) {
                      library->loadTree(std::move(done));
                  }));
    table.emplace("list_folders", reading([library](const BridgeArgs&, ReadDone done) {
                      library->listFolders(asArray(std::move(done)));
                  }));
    table.emplace("list_words", reading([library](const BridgeArgs& args, ReadDone done) {
                      library->listWords(args.string(0), std::move(done));
                  }));
    table.emplace("words_in_scope", reading([library](const BridgeArgs& args, ReadDone done) {
                      library->wordsUnderFolder(args.optionalString(0), LibraryModel::wordPageCap,
                                                std::move(done));
                  }));
    table.emplace("words_under_folder", reading([library](const BridgeArgs& args, ReadDone done) {
                      library->wordsUnderFolder(args.optionalString(0),
                                                ServerLibraryReader::folderStudyCap,
                                                std::move(done));
                  }));
    table.emplace("search_words", reading([library](const BridgeArgs& args, ReadDone done) {
                      library->search(args.string(0), std::move(done));
                  }));
    table.emplace("review_states", reading([library](const BridgeArgs& args, ReadDone done) {
                      library->reviewStates(args.strings(0), std::move(done));
                  }));
    table.emplace("word_details", reading([library](const BridgeArgs& args, ReadDone done) {
                      library->wordDetails(args.strings(0), std::move(done));
                  }));
    table.emplace("list_trash", reading([library](const BridgeArgs&, ReadDone done) {
                      library->listTrash(std::move(done));
                  }));

    if (auto get = viewSettings_.get) {
        table.emplace("get_view_settings",
                      reading([get](const BridgeArgs&, ReadDone done) { get(std::move(done)); }));
    } else {
        table.emplace("get_view_settings", BridgeEntry::notYet());
    }
    if (auto set = viewSettings_.set) {
        table.emplace("set_view_settings", reading([set](const BridgeArgs& args, ReadDone done) {
                          const Json* value = args.any(0);
                          set(value ? *value : Json(nullptr), std::move(done));
                      }));
    } else {
        table.emplace("set_view_settings", BridgeEntry::notYet());
    }

    auto seed = popupDefaults_;
    table.emplace("list_assistants", reading([library, seed](const BridgeArgs&, ReadDone done) {
                      if (!seed) {
                          library->assistants(asArray(std::move(done)));
                          return;
                      }
                      seed(
                          [library](Completion<void(RowsResult)> read) {
                              library->assistants(std::move(read));
                          },
                          asArray(std::move(done)));
                  }));
    table.emplace("list_content_types", reading([](const BridgeArgs&, ReadDone done) {
                      done(LibraryModel::contentTypes());
                  }));
    table.emplace("list_options",
                  reading([](const BridgeArgs&, ReadDone done) { done(LibraryModel::options()); }));
    return table;
}

}  // namespace parlendo
