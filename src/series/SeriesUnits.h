#pragma once
// Start-up of the series units: hands the eight adapter classes to the factory. The
// program calls it once before the first adapter is made (tests too).

namespace torvane {

void RegisterSeriesAdapters();

} // namespace torvane
