#pragma once

#include "popups/MeaningView.h"

#include <gtk/gtk.h>

#include <vector>

namespace parlendo {

// Builds the widgets of a card's content: a vertical box of read-only labels, 6 points apart,
// `width` points wide, in the fonts and colours of their styles. Main thread only.
namespace GtkMeaningView {

// `text` is the card's text colour; the secondary and tertiary tones are weaker forms of it.
GtkWidget* render(const std::vector<MeaningView::Label>& labels, double width, const GdkRGBA& text);

// The colour of a tone, from the card's text colour.
GdkRGBA tone(MeaningView::Tone tone, const GdkRGBA& text);

}  // namespace GtkMeaningView
}  // namespace parlendo
