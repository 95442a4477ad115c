#include "app/palettecommands.h"

#include <algorithm>

#include "app/cmdids.h"
#include "app/dialogs/optionsdialog.h"
#include "app/dialogs/palettedialog.h"
#include "app/dialogs/placetextdialog.h"
#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "ui/promptservice.h"
#include "ui/messages.h"

namespace {


void OnPalette(CPelidorDoc& doc) {
    PxImage* image = doc.GetImage();
    if (!doc.CommandEnableImageIdle() || image->GetNumColors() == 0 || !image->GetPalette()) return;
    CPaletteDialog dlg(AfxGetMainFrame());
    dlg.SetPalette(image->GetPalette(), static_cast<int>(image->GetNumColors()));
    if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted || !dlg.IsModified()) return;
    RGBQUAD palette[256];
    std::copy(dlg.Palette(), dlg.Palette() + 256, palette);
    doc.PushUndoSnapshot();
    if (dlg.LoadOption() == 1) {
        image->SetPalette(palette, static_cast<DWORD>(dlg.Count()));
    } else {
        // The pixels find their colours in the new palette anew, by way of true colour.
        const DWORD bits = image->GetBpp();
        if (image->IncreaseBpp(24)) image->DecreaseBpp(bits, dlg.LoadOption() == 3, palette);
    }
    doc.SetModifiedFlag();
    doc.UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    doc.RefreshStatusPanes();
}

void OnOptions(CPelidorDoc& doc) {
    PxImage* image = doc.GetImage();
    // A running command owns the image: nothing may be written into it meanwhile.
    if (!image || doc.IsBusy()) return;
    COptionsDialog dlg(AfxGetMainFrame());
    dlg.m_dwTiffCompression = image->GetCodecOption(6);
    dlg.m_dwGifOption = image->GetCodecOption(2);
    dlg.m_dwPngInterlace = image->GetCodecOption(4);
    dlg.m_dwJpegFlags = image->GetCodecOption(3);
    dlg.m_nJpegQuality = image->GetJpegQuality();
    dlg.m_xDPI = image->GetXDPI();
    dlg.m_yDPI = image->GetYDPI();
    dlg.m_pExif = &doc.m_exifHolder.m_exifinfo;
    dlg.LoadControls();
    if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted) return;
    if (doc.IsBusy()) return;
    image->SetCodecOption(dlg.m_dwTiffCompression, 6);
    image->SetCodecOption(dlg.m_dwGifOption, 2);
    image->SetCodecOption(dlg.m_dwPngInterlace, 4);
    image->SetCodecOption(dlg.m_dwJpegFlags, 3);
    image->SetJpegQuality(dlg.m_nJpegQuality);
    image->SetXDPI(dlg.m_xDPI);
    image->SetYDPI(dlg.m_yDPI);
    if (CPelidorApp* app = AfxGetPelidorApp()) {
        app->m_nJpegQuality = dlg.m_nJpegQuality;
        app->Profile().WriteProfileInt("Options", "JpegQuality", app->m_nJpegQuality);
    }
}

void OnPlaceText(CPelidorDoc& doc) {
    CPelidorApp* app = AfxGetPelidorApp();
    if (!app || !doc.GetImage()) return;
    CPlaceTextDialog dlg(AfxGetMainFrame());
    dlg.SetTextInfo(app->m_TextInfo);
    if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted) return;
    app->m_TextInfo = dlg.TextInfo();
    doc.m_nTool = kToolText;
}

}  // namespace

void RegisterPaletteCommands() {
    CPelidorDoc::RegisterDocumentCommand(ID_IMAGE_PALETTE, OnPalette, [](CPelidorDoc& doc, CCmdUI* ui) {
        ui->Enable(doc.CommandEnableImageIdle() && doc.GetImage()->GetNumColors() > 0);
    });
    CPelidorDoc::RegisterDocumentCommand(ID_IMAGE_OPTIONS, OnOptions,
                                         [](CPelidorDoc& doc, CCmdUI* ui) { ui->Enable(!doc.IsBusy()); });
    CPelidorDoc::RegisterDocumentCommand(ID_IMAGE_TEXT_TOOL, OnPlaceText,
                                         [](CPelidorDoc& doc, CCmdUI* ui) { ui->Enable(doc.GetImage() != nullptr); });
}
