// The devices that a file name can name besides disk files and the console: printers ("PRN:/..."
// and the other printer prefixes) and the debugger's channels ("DEBUG:n").  The data files write
// to them through one interface, DeviceStream, which the layers that own the devices implement
// and register (an opener per kind of device); this layer knows neither printing nor the
// debugger link.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "vxs/datafiles/ktname.h"

namespace vxs {

// An open device, from OPEN to CLOSE.  Destroyed without finish(), it is abandoned (a print job
// keeps its spool file unprinted).
class DeviceStream {
  public:
    virtual ~DeviceStream() = default;
    // Writes one line and its line end bytes (empty for a line that stays open).
    [[nodiscard]] virtual int writeLine(std::string_view line, std::string_view lineEnd) = 0;
    // CLOSE: the device does what closing means to it (a print job prints).  `message` receives
    // a text for the status line.  Returns 0 or the error of finishing.
    [[nodiscard]] virtual int finish(std::string& message) = 0;
    // The lines of a page when the device has pages of its own (0: none).
    virtual int linesPerPage() const { return 0; }
};

// What OPEN asks of a device.
struct DeviceRequest {
    Device kind = Device::kPrinter;
    std::string name;  // as resolved: upper case ("PRN:/10", "DEBUG:7")
    int channel = 0;   // DEBUG: the channel number
    // Printers: COPIES=, PRINTER= and PRINTER_TYPE=.
    int copies = 1;
    std::string printer, printerType;
};

using DeviceOpener = int (*)(const DeviceRequest& request, std::unique_ptr<DeviceStream>& out);
// Registers the opener of a kind of device (null removes it).
void setDeviceOpener(Device kind, DeviceOpener opener);
// Opens a device through its kind's opener.  Returns 0, the opener's error, or 302 when no layer
// registered one.
[[nodiscard]] int openDevice(const DeviceRequest& request, std::unique_ptr<DeviceStream>& out);

}  // namespace vxs
