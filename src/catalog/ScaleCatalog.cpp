#include "catalog/ScaleCatalog.h"

namespace vantrel::catalog {

std::optional<double> LookupZoomFactor(std::size_t system, std::int32_t rowIndex) noexcept {
    if (system >= kScaleSystems.size()) {
        return std::nullopt;
    }
    const ScaleTable table = kScaleSystems[system].rows;
    if (rowIndex < 1 || static_cast<std::size_t>(rowIndex) > table.size()) {
        return std::nullopt;
    }
    return table[static_cast<std::size_t>(rowIndex) - 1].ZoomFactor();
}

}  // namespace vantrel::catalog
