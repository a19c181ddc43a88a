#pragma once
// Recalculation of the PUNCH rows marked with RecalcHrs.
namespace hx {

void RecalculateHours();

} // namespace hx
