#pragma once

#include <gtk/gtk.h>

#include <string_view>

namespace parlendo::GtkWordWrap {

// Lines that wrap at spaces in Korean too. Pango may break Hangul between any two syllables
// ("로그인해" → "로 / 그인해"), so within each word that holds Hangul no break is allowed; a line
// breaks only between words, and inside a word only when it is longer than a whole line and holds
// no Hangul (a long address).

// Makes `label` wrap, and keeps its Korean words whole whenever its text changes.
void wrap(GtkWidget* label);

// The same for every wrapping label inside `widget` (a message dialog's texts).
void wrapWithin(GtkWidget* widget);

// Adds to `attributes` what keeps the Hangul words of `text` (the layout's text) whole.
void keepWords(PangoAttrList* attributes, std::string_view text);

}  // namespace parlendo::GtkWordWrap
