#pragma once

#include "manage/BridgeRoutes.h"
#include "wordbook/LibraryWriter.h"

#include <map>
#include <memory>
#include <string>

namespace parlendo {

// The trash screen's restores: "restore_folder", "restore_source", "restore_word",
// "restore_sentence", each of the id in argument 0, over the same writer as the write routes.
class TrashRoutes final : public BridgeRoutes {
  public:
    explicit TrashRoutes(std::shared_ptr<LibraryWriter> writer);

    std::map<std::string, BridgeEntry> routes() const override;

  private:
    std::shared_ptr<LibraryWriter> writer_;
};

}  // namespace parlendo
