// Moving printers off the monitor's ports before the monitor is removed, so that no printer
// is left on a port that no longer exists.
#pragma once
#include <windows.h>

namespace Quorvane {

// Every local printer whose port is one of the monitor's ports goes to "FILE:"; each move is
// told on standard output as "<printer>: <monitor>: <port>". A printer on a list of several
// ports is not one of them. Enumerations that fail move nothing.
void DetachPrinters();

// Sets the printer's port, keeping its other settings. A printer that can't be opened or read
// keeps its port.
void SetPrinterPort(LPCWSTR printerName, LPCWSTR portName);

}  // namespace Quorvane
