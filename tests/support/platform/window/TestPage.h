#pragma once

#include <gtk/gtk.h>

// A web page as a browser shows it to the accessibility bus, for the test window: a document
// whose text holds each of its `paragraphs` as one object replacement character (U+FFFC), each
// reached through the document's hypertext links, and the whole page selected. With `stopAt` at
// 0 or more, the program stops itself (SIGSTOP, after printing "stopped <n>") when a reader first
// asks for paragraph `stopAt`: a page that stops answering midway through a read. Focusing the
// widget focuses the document.
GtkWidget* testPageNew(int paragraphs, int stopAt);
