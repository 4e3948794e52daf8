#include "app/ui/panel_snapshot.hpp"

namespace lumenary::app::ui {

std::int64_t PanelSnapshot::enabledToolCount() const {
    std::int64_t count = 0;
    for (std::size_t index = 0; index < toolCategoryCount; ++index) {
        if (switches[index]) {
            count += static_cast<std::int64_t>((*categoryTools)[index].size());
        }
    }
    return count;
}

}  // namespace lumenary::app::ui
