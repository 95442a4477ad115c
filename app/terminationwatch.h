// SIGTERM and SIGINT (a logout, a kill, Ctrl+C in the terminal) close the main window as its
// close button does: settings are saved and unsaved images are asked about, instead of the
// process ending where it stands.
#pragma once

#include <QObject>

class QSocketNotifier;

class CTerminationWatch : public QObject {
public:
    // Installs the handlers; the close runs on the UI thread from the event loop.
    explicit CTerminationWatch(QObject* parent = nullptr);
    ~CTerminationWatch() override;

private:
    void OnSignal();
    QSocketNotifier* m_notifier = nullptr;
};
