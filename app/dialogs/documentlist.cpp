#include "app/dialogs/documentlist.h"

#include <QComboBox>

#include "app/pelidorapp.h"
#include "app/pelidordoc.h"

QList<CPelidorDoc*> CDocumentList::Documents() {
    QList<CPelidorDoc*> docs;
    CPelidorApp* app = AfxGetPelidorApp();
    if (!app || !app->DocTemplate()) return docs;
    for (CDocument* d : app->DocTemplate()->Documents()) {
        auto* doc = dynamic_cast<CPelidorDoc*>(d);
        if (doc && !doc->m_bStartPage) docs << doc;
    }
    return docs;
}

void CDocumentList::Fill(QComboBox* list, bool none) {
    list->clear();
    if (none) list->addItem("(None)", QVariant::fromValue<quintptr>(0));
    for (CPelidorDoc* doc : Documents()) list->addItem(doc->GetTitle(), QVariant::fromValue(reinterpret_cast<quintptr>(doc)));
}

CPelidorDoc* CDocumentList::Selected(const QComboBox* list) {
    if (list->currentIndex() < 0) return nullptr;
    const quintptr p = list->currentData().value<quintptr>();
    if (p == 0) return nullptr;
    for (CPelidorDoc* doc : Documents())
        if (reinterpret_cast<quintptr>(doc) == p) return doc;
    return nullptr;
}
