// The open documents a multi-image dialog offers: every document of the program's template in
// opening order, the start page left out; each entry's item data is the document pointer.
#pragma once

#include <QList>

class CPelidorDoc;
class QComboBox;

class CDocumentList {
public:
    static QList<CPelidorDoc*> Documents();
    // Fills the list; with `none` "(None)" comes first with item data 0.
    static void Fill(QComboBox* list, bool none);
    // The selected entry's document, or null for "(None)", no selection or a document that has
    // closed since the list was filled.
    static CPelidorDoc* Selected(const QComboBox* list);
};
