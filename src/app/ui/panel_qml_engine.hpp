#pragma once

class QQmlEngine;

namespace lumenary::app::ui {

// Makes the panel's QML module (Lumenary.Ui) loadable by `engine`: the
// module's types are registered (a static library's registration is kept
// only when something names it) and its resource folder is on the import
// path, which Qt 6.4 does not search by itself.
void preparePanelEngine(QQmlEngine& engine);

}  // namespace lumenary::app::ui
