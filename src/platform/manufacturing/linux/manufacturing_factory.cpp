#include "platform/manufacturing/manufacturing_factory.h"

#include "platform/manufacturing/cp210x_usb_library.h"
#include "platform/manufacturing/linux/libusb_transport.h"

namespace dova::manufacturing {

namespace {

// The library talks through a transport it does not own: this one owns its own, made
// first and gone last.
struct TTransportHolder {
  LibusbTransport transport;
};

class TLibusbCP210xLibrary final : private TTransportHolder, public UsbCP210xLibrary {
 public:
  TLibusbCP210xLibrary() : UsbCP210xLibrary(transport) {}
};

}  // namespace

std::unique_ptr<CP210xLibrary> CreateManufacturingLibrary() {
  return std::make_unique<TLibusbCP210xLibrary>();
}

}  // namespace dova::manufacturing
