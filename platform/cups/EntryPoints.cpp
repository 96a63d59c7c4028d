// The table through which the quorvane command reaches this library after loading it with dlopen.
#include <qv/cups.h>

namespace qv::cups {
namespace {

std::unique_ptr<PrintSystem> NewPrintSystem() { return std::make_unique<CupsPrintSystem>(); }

}  // namespace

const EntryPoints& LibraryEntryPoints() {
  static const EntryPoints table{
      .size = sizeof(EntryPoints),
      .newPrintSystem = &NewPrintSystem,
      .listQueues = &ListQueues,
      .addRawQueue = &AddRawQueue,
      .deleteQueue = &DeleteQueue,
      .setQueuePort = &SetQueuePort,
      .submitRawJob = &SubmitRawJob,
      .listActiveJobs = &ListActiveJobs,
      .cancelJob = &CancelJob,
      .lastSchedulerMessage = &LastSchedulerMessage,
      .quorvanePort = &QuorvanePort,
      .deviceUriOfPort = &DeviceUriOfPort,
      .serverBin = &ServerBin,
      .installedBackendPath = &InstalledBackendPath,
      .backendSource = &BackendSource,
      .installBackend = &InstallBackend,
  };
  return table;
}

}  // namespace qv::cups
