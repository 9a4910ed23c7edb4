#pragma once
// The texts Qt itself shows: the buttons of message boxes ("Yes", "No",
// "Cancel"), the file and printer dialogs. They follow the console's
// language through Qt's own German translation (Debian's
// qt6-translations-l10n); English needs none.

namespace qdl::ui {

// Installs Qt's German texts, or removes them for English. Widgets made
// afterwards show the chosen language. False when the German translation
// is not installed: Qt's texts then stay English.
bool useQtTexts(bool german);

}  // namespace qdl::ui
