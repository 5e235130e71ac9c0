#!/usr/bin/env bash
# Fails when a file of the logic library includes a windowing, networking or platform header.
set -euo pipefail
cd "$(dirname "$0")/.."
pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](gtk/|gdk/|glib|gio/|gobject/|X11/|curl/|webkit|webkit2/|JavaScriptCore/|atspi/|at-spi|libsecret/|poppler|cairo|libayatana|httplib)'
if grep -rnE "$pattern" ParlendoCore/ ; then
  echo "check-core-includes: ParlendoCore/ must not include platform headers (see above)" >&2
  exit 1
fi
echo "check-core-includes: ok"
