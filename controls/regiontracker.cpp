#include "controls/regiontracker.h"

#include <QWidget>

void CRegionTracker::DrawTrackerRect(const RECT&, QWidget* owner, bool) {
    if (owner) owner->update();
}
