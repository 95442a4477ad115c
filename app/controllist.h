// The popup of the "Calibrate Table" split button: rebuilt each time it opens, one entry per
// active calibration of the active document's measurement object (six at most).
#pragma once

#include <functional>

class CPelidorDoc;
class QMenu;
class QToolButton;

class CControlList {
public:
    static constexpr int kMaxEntries = 6;
    using DocumentSource = std::function<CPelidorDoc*()>;
    using Route = std::function<void(unsigned id)>;
    // Attaches a menu to the button that rebuilds itself on aboutToShow; entries run `route`
    // with 33003 + i.
    static QMenu* Attach(QToolButton* button, DocumentSource source, Route route);
    // Empties the menu and adds the entries of the document's list; without a document with an
    // image and a measurement object it stays empty.
    static void Rebuild(QMenu* menu, CPelidorDoc* doc, const Route& route);
};
