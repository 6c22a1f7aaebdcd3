#!/usr/bin/env bash
# Makes the pictures of docs/wizard.md: runs the e2e tests that walk every
# wizard page in each layout, show an author's side picture and paint the
# background window, with KS_SCREENSHOT_DIR pointing them at docs/wizard/,
# where they write each page (cut out of the screen) and the background as
# PNG files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=$root/docs/wizard
mkdir -p "$out"
rm -f "$out"/*.png
cmake --preset native >/dev/null
cmake --build --preset native
KS_SCREENSHOT_DIR=$out ctest --preset native --output-on-failure \
  -R '^e2e\.Styles/WizardLayouts\.EveryPageShowsItsTexts/(plain|side|band|panel)$|^e2e\.SerialBackground|^e2e\.Modes/SerialBackgroundPicture|^e2e\.SerialWizardPictures'
ls "$out"
