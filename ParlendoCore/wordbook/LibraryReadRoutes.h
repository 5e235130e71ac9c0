#pragma once

#include "manage/BridgeRoutes.h"
#include "wordbook/LibraryReader.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace parlendo {

// The manage page's reads of the word book ("load_tree", "list_folders", "list_words",
// "words_in_scope", "words_under_folder", "search_words", "review_states", "word_details",
// "list_trash"), of its view settings ("get_view_settings", "set_view_settings"), of the popup
// settings ("list_assistants", seeded with the defaults the first time a user has none) and of
// the popup schema tables ("list_content_types", "list_options"). Arguments are only coerced;
// each route awaits one call and answers its value or its failure. Handlers run on the main
// executor and reply where their collaborator completes (the server client delivers there).
class LibraryReadRoutes final : public BridgeRoutes {
  public:
    using ReadDone = Completion<void(LibraryReadResult)>;
    // The view settings store: the stored value, and storing a value (answering what the server
    // then holds). A route whose function is empty is not served.
    struct ViewSettings {
        std::function<void(ReadDone)> get;
        std::function<void(Json value, ReadDone)> set;
    };
    // The default popup seeder: runs `read`, seeds the default popups for a user who has none and
    // was not seen in this run, and answers the rows (read again after seeding).
    using PopupRead = std::function<void(Completion<void(RowsResult)>)>;
    using SeedPopups = std::function<void(PopupRead read, Completion<void(RowsResult)>)>;

    LibraryReadRoutes(std::shared_ptr<LibraryReader> library, ViewSettings viewSettings,
                      SeedPopups popupDefaults = nullptr);

    std::map<std::string, BridgeEntry> routes() const override;

  private:
    std::shared_ptr<LibraryReader> library_;
    ViewSettings viewSettings_;
    SeedPopups popupDefaults_;
};

}  // namespace parlendo
