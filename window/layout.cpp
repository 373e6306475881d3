#include "window/layout.hpp"

#include <algorithm>
#include <stdexcept>

namespace dss::layout {

std::array<ControlId, 4> TabOrder()
{
    std::array<const ControlDescription*, kControls.size()> byTabIndex{};
    std::transform(kControls.begin(), kControls.end(), byTabIndex.begin(),
                   [](const ControlDescription& control) { return &control; });
    std::sort(byTabIndex.begin(), byTabIndex.end(),
              [](const auto* a, const auto* b) { return a->tabIndex < b->tabIndex; });
    std::array<ControlId, 4> order{};
    auto next = order.begin();
    for (const ControlDescription* control : byTabIndex) {
        if (control->kind != ControlKind::Label) {
            *next++ = control->id;
        }
    }
    return order;
}

const ControlDescription& Describe(ControlId id)
{
    const auto found = std::find_if(kControls.begin(), kControls.end(),
                                    [id](const ControlDescription& control) { return control.id == id; });
    if (found == kControls.end()) {
        throw std::out_of_range("no such control");
    }
    return *found;
}

ControlId FieldControl(SettingField field)
{
    const auto found = std::find_if(kControls.begin(), kControls.end(),
                                    [field](const ControlDescription& control) { return control.field == field; });
    if (found == kControls.end()) {
        throw std::out_of_range("no field holds this value");
    }
    return found->id;
}

} // namespace dss::layout
