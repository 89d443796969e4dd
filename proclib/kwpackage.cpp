// Entry points of the package: the manager calls the first right after
// loading it and the second right before unloading it.
#include "procdef/kwinfo.h"
#include "proclib/kwunit.h"

extern "C" __attribute__((visibility("default"))) void KWPackageInitialize() {
  for (kwlib::TKWUnit* u : kwlib::PackageUnits()) u->Initialize();
}

extern "C" __attribute__((visibility("default"))) void KWPackageFinalize() {
  auto& units = kwlib::PackageUnits();
  for (auto it = units.rbegin(); it != units.rend(); ++it) (*it)->Finalize();
}
