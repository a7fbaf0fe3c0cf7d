#pragma once
// Start-up of the series units: hands the eight adapter classes to the factory of the
// current context (platform/Context.h). The program calls it once before the first adapter
// is made; a test that makes adapters through the factory calls it in its own context.

namespace torvane {

void RegisterSeriesAdapters();

} // namespace torvane
