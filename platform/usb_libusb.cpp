// The USB transport over libusb-1.0, for a real camera.
#include "platform/usbtransport.h"

#ifdef QUILLORY_HAVE_LIBUSB
#include <libusb.h>

namespace {

class LibusbTransport : public UsbTransport {
public:
    ~LibusbTransport() override {
        Close();
        if (context_)
            libusb_exit(context_);
    }

    bool Open(uint16_t vendorId, uint16_t productId) override {
        if (handle_)
            return true;
        if (!context_ && libusb_init(&context_) != 0) {
            context_ = nullptr;
            return false;
        }
        refused_ = false;
        handle_ = OpenByIds(vendorId, productId);
        if (!handle_)
            return false;
        libusb_set_auto_detach_kernel_driver(handle_, 1);
        if (const int r = libusb_claim_interface(handle_, 0); r != 0) {
            refused_ = r == LIBUSB_ERROR_ACCESS;
            libusb_close(handle_);
            handle_ = nullptr;
            return false;
        }
        endpoint_ = FindBulkIn();
        if (!endpoint_) {
            Close();
            return false;
        }
        return true;
    }

    bool IsOpen() const override { return handle_ != nullptr; }
    bool OpenRefused() const override { return refused_; }

    bool VendorRequest(uint8_t request, uint16_t value, uint16_t index, const uint8_t* data, uint16_t length,
                       uint32_t timeoutMs) override {
        if (!handle_)
            return false;
        const uint8_t type = static_cast<uint8_t>(static_cast<int>(LIBUSB_ENDPOINT_OUT) |
                                                 static_cast<int>(LIBUSB_REQUEST_TYPE_VENDOR) |
                                                 static_cast<int>(LIBUSB_RECIPIENT_DEVICE));
        int r = libusb_control_transfer(handle_, type, request, value, index, const_cast<uint8_t*>(data), length,
                                        timeoutMs);
        return r >= 0;
    }

    int64_t BulkRead(uint8_t* buffer, size_t length, uint32_t timeoutMs) override {
        if (!handle_)
            return kUsbGone;
        // libusb takes an int length; a camera frame is far below that, larger reads are split.
        int64_t total = 0;
        while (static_cast<size_t>(total) < length) {
            size_t chunk = length - static_cast<size_t>(total);
            if (chunk > (1u << 30))
                chunk = 1u << 30;
            int got = 0;
            int r = libusb_bulk_transfer(handle_, endpoint_, buffer + total, static_cast<int>(chunk), &got,
                                         timeoutMs);
            total += got;
            if (r == LIBUSB_ERROR_NO_DEVICE)
                return kUsbGone;
            if (r == LIBUSB_ERROR_TIMEOUT) {
                if (total == 0)
                    return kUsbTimedOut;
                // A large frame streams for longer than one wait: while data keeps coming, the
                // transfer goes on, so a slice's time-out never cuts a frame short.
                if (got > 0)
                    continue;
                break;  // the stream stalled part way: what arrived counts
            }
            if (r != 0 || static_cast<size_t>(got) < chunk)
                break;  // short packet (end of transfer) or error: what arrived counts
        }
        return total;
    }

    void Close() override {
        if (handle_) {
            libusb_release_interface(handle_, 0);
            libusb_close(handle_);
            handle_ = nullptr;
        }
        endpoint_ = 0;
    }

private:
    // The first device with the ids that opens. A device whose node this user may not open
    // (EACCES, LIBUSB_ERROR_ACCESS) is remembered, so a failed Open can say why.
    libusb_device_handle* OpenByIds(uint16_t vendorId, uint16_t productId) {
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context_, &list);
        if (count < 0)
            return nullptr;
        libusb_device_handle* opened = nullptr;
        for (ssize_t i = 0; i < count && !opened; ++i) {
            libusb_device_descriptor d;
            if (libusb_get_device_descriptor(list[i], &d) != 0 || d.idVendor != vendorId || d.idProduct != productId)
                continue;
            const int r = libusb_open(list[i], &opened);
            if (r != 0) {
                opened = nullptr;
                if (r == LIBUSB_ERROR_ACCESS)
                    refused_ = true;
            }
        }
        libusb_free_device_list(list, 1);
        if (opened)
            refused_ = false;
        return opened;
    }

    uint8_t FindBulkIn() {
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(libusb_get_device(handle_), &config) != 0)
            return 0;
        uint8_t found = 0;
        for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
            const libusb_interface& itf = config->interface[i];
            for (int a = 0; a < itf.num_altsetting && !found; ++a) {
                const libusb_interface_descriptor& d = itf.altsetting[a];
                for (int e = 0; e < d.bNumEndpoints; ++e) {
                    const libusb_endpoint_descriptor& ep = d.endpoint[e];
                    if ((ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) &&
                        (ep.bmAttributes & 3) == LIBUSB_TRANSFER_TYPE_BULK) {
                        found = ep.bEndpointAddress;
                        break;
                    }
                }
            }
        }
        libusb_free_config_descriptor(config);
        return found;
    }

    libusb_context* context_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
    uint8_t endpoint_ = 0;
    bool refused_ = false;
};

}  // namespace

std::unique_ptr<UsbTransport> CreateLibusbTransport() { return std::make_unique<LibusbTransport>(); }

#else

std::unique_ptr<UsbTransport> CreateLibusbTransport() { return nullptr; }

#endif
