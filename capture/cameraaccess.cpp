#include "capture/cameraaccess.h"

#include "capture/camerapluglistener.h"
#include "outside/simcam/simcam.h"
#include "platform/usbtransport.h"

bool FindRefusedCamera(int cameraId, RefusedCamera* refused) {
    // The program's own transport reaches the simulated camera as the driver's does, unless a
    // factory is in place already.
    if (UsbTransportFactory previous = SetSimulatedUsbTransportFactory(&SimCamCreateTransport))
        SetSimulatedUsbTransportFactory(previous);
    for (const CCameraPlugListener::UsbIds& ids : CCameraPlugListener::UsbIdsOfCamera(cameraId)) {
        if (UsbOpenRefused(ids.vendorId, ids.productId)) {
            *refused = {ids.vendorId, ids.productId};
            return true;
        }
    }
    return false;
}

QString CameraAccessRefusedText(const RefusedCamera& refused) {
    const QString device = QStringLiteral("%1:%2")
                               .arg(refused.vendorId, 4, 16, QLatin1Char('0'))
                               .arg(refused.productId, 4, 16, QLatin1Char('0'))
                               .toUpper();
    return QStringLiteral(
               "The camera (USB %1) is plugged in, but you have no permission to open it.\n"
               "Install the camera rules 70-quillory-cameras.rules into /etc/udev/rules.d "
               "(the Quillory package puts them into /usr/lib/udev/rules.d), "
               "then unplug the camera and plug it in again.")
        .arg(device);
}
