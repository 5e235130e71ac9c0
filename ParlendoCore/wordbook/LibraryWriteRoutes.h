#pragma once

#include "manage/BridgeRoutes.h"
#include "wordbook/LibraryWriter.h"

#include <map>
#include <memory>
#include <string>

namespace parlendo {

// The manage page's changes to the word book: "create_folder", "rename_folder",
// "rename_source", "move_folder", "move_source", "reorder_folders", "delete_folder",
// "delete_source", "delete_word". Arguments are only coerced; the writer checks them. Every
// route answers through ManageContract::writing, so all writes fail in one reply form and leave
// one log line. Handlers run on the main executor and reply where the writer completes.
class LibraryWriteRoutes final : public BridgeRoutes {
  public:
    explicit LibraryWriteRoutes(std::shared_ptr<LibraryWriter> writer);

    std::map<std::string, BridgeEntry> routes() const override;

    // A route whose body starts one write with the page's arguments.
    using Write = std::function<void(const BridgeArgs&, LibraryWriteDone)>;
    static BridgeEntry writing(Write write);

  private:
    std::shared_ptr<LibraryWriter> writer_;
};

}  // namespace parlendo
