#include "projects/PopplerExtractor.h"

#include "foundation/Log.h"
#include "foundation/PyText.h"
#include "projects/DriveLimits.h"
#include "projects/DriveText.h"
#include "projects/OutlineCollector.h"
#include "projects/PDFPages.h"
#include "projects/PopplerDocument.h"

#include <glib.h>
#include <sys/stat.h>

#include <filesystem>
#include <vector>

namespace parlendo {
namespace {

struct IterFree {
    void operator()(PopplerIndexIter* iter) const { poppler_index_iter_free(iter); }
};
using IterPtr = std::unique_ptr<PopplerIndexIter, IterFree>;

struct ActionFree {
    void operator()(PopplerAction* action) const { poppler_action_free(action); }
};
struct DestFree {
    void operator()(PopplerDest* dest) const { poppler_dest_free(dest); }
};

// What the outline nodes of one document share: the document and the budget of items read.
struct OutlineSource {
    PopplerDocument* document = nullptr;
    int pages = 0;
    int itemsLeft = PopplerExtractor::outlineItemBudget;
    bool budgetSpent = false;
};

// One outline item (or the outline root, which has only children).
class PopplerOutlineNode final : public OutlineNode {
  public:
    // `self` is null for the root; `children` is the iterator over the item's children, or null.
    PopplerOutlineNode(OutlineSource* source, IterPtr self, IterPtr children)
        : source_(source), self_(std::move(self)), childIter_(std::move(children)) {}

    int childCount() const override {
        load();
        return static_cast<int>(children_.size());
    }

    std::unique_ptr<OutlineNode> child(int index) const override {
        load();
        if (index < 0 || static_cast<size_t>(index) >= children_.size()) {
            return nullptr;
        }
        IterPtr self(poppler_index_iter_copy(children_[static_cast<size_t>(index)].get()));
        return std::make_unique<PopplerOutlineNode>(source_, std::move(self), nullptr);
    }

    std::string label() const override {
        std::unique_ptr<PopplerAction, ActionFree> action(action_());
        return action && action->any.title ? std::string(action->any.title) : std::string();
    }

    std::optional<int> page() const override {
        std::unique_ptr<PopplerAction, ActionFree> action(action_());
        if (!action || action->type != POPPLER_ACTION_GOTO_DEST || !action->goto_dest.dest) {
            return std::nullopt;
        }
        const PopplerDest* dest = action->goto_dest.dest;
        int page = dest->page_num;
        if (dest->type == POPPLER_DEST_NAMED) {
            if (!dest->named_dest) {
                return std::nullopt;
            }
            std::unique_ptr<PopplerDest, DestFree> named(
                poppler_document_find_dest(source_->document, dest->named_dest));
            if (!named) {
                return std::nullopt;
            }
            page = named->page_num;
        }
        if (page < 1 || page > source_->pages) {
            return std::nullopt;
        }
        return page;
    }

  private:
    PopplerAction* action_() const {
        return self_ ? poppler_index_iter_get_action(self_.get()) : nullptr;
    }

    // Reads the item's children once, within the document's item budget.
    void load() const {
        if (loaded_) {
            return;
        }
        loaded_ = true;
        if (!childIter_ && self_) {
            if (source_->itemsLeft <= 0) {
                source_->budgetSpent = true;
                return;
            }
            childIter_.reset(poppler_index_iter_get_child(self_.get()));
        }
        if (!childIter_) {
            return;
        }
        do {
            if (source_->itemsLeft <= 0) {
                source_->budgetSpent = true;
                break;
            }
            --source_->itemsLeft;
            children_.emplace_back(poppler_index_iter_copy(childIter_.get()));
        } while (poppler_index_iter_next(childIter_.get()));
    }

    OutlineSource* source_;
    IterPtr self_;
    mutable IterPtr childIter_;
    mutable bool loaded_ = false;
    mutable std::vector<IterPtr> children_;
};

std::optional<std::string> titleOf(PopplerDocument* document) {
    gchar* raw = poppler_document_get_title(document);
    if (!raw) {
        return std::nullopt;
    }
    std::string title = PyText::prefix(PyText::strip(DriveText::clean(raw)),
                                       static_cast<size_t>(DriveLimits::docTitleMax));
    g_free(raw);
    if (title.empty()) {
        return std::nullopt;
    }
    return title;
}

}  // namespace

Result<ExtractedPDF, DriveFailure> PopplerExtractor::extract(const std::string& path) const {
    if (!DriveText::isLocalPDFPath(path)) {
        return fail(DriveFailure("file_not_found"));
    }
    const std::string standard = std::filesystem::path(path).lexically_normal().string();
    struct stat info {};
    // Only regular files: a folder, a pipe or a device named like a PDF is not one.
    if (::stat(standard.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return fail(DriveFailure("file_not_found"));
    }
    auto document = openPopplerDocument(standard);
    if (!document) {
        return fail(DriveFailure("pdf_unreadable"));
    }
    const int count = poppler_document_get_n_pages(document.get());
    if (count < 1 || count > DriveLimits::pageMax) {
        return fail(DriveFailure("page_count_out_of_range"));
    }
    auto pages = PDFPages::collect(count, [&](int index) {
        PopplerPagePtr page(poppler_document_get_page(document.get(), index));
        if (!page) {
            return std::string();
        }
        gchar* text = poppler_page_get_text(page.get());
        std::string out = text ? std::string(text) : std::string();
        g_free(text);
        return DriveText::clean(std::move(out));
    });
    if (!pages) {
        return fail(pages.error());
    }

    OutlineSource source{document.get(), count};
    OutlineCollector collector;
    if (IterPtr top{poppler_index_iter_new(document.get())}) {
        PopplerOutlineNode root(&source, nullptr, std::move(top));
        collector = OutlineCollector::collect(root);
    }
    if (collector.stopped) {
        Log::write("drive", "책갈피 모으기 멈춤 reason=" + *collector.stopped +
                                " entries=" + std::to_string(collector.entries.size()) +
                                " visits=" + std::to_string(collector.visits));
    }
    if (source.budgetSpent) {
        Log::write("drive", "책갈피 읽기 줄임 reason=item_budget entries=" +
                                std::to_string(collector.entries.size()) +
                                " visits=" + std::to_string(collector.visits));
    }
    return ExtractedPDF{DriveText::fileName(standard), titleOf(document.get()), std::move(*pages),
                        std::move(collector.entries), standard};
}

}  // namespace parlendo
