// The palette of a palette image as a grid of colour cells: any entry (colour or alpha byte)
// changed with the colour picker, palettes loaded from RIFF and JASC files and saved as RIFF,
// and the way a changed palette is applied chosen by the user.
#pragma once

#include <QDialog>

#include "platform/wintypes.h"

class CIconButton;
class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;

class CPaletteDialog : public QDialog {
public:
    explicit CPaletteDialog(QWidget* parent = nullptr);

    // The caller's palette: `count` entries in use (0 for a true-colour image).
    void SetPalette(const RGBQUAD* palette, int count);
    const RGBQUAD* Palette() const { return m_palette; }
    int Count() const { return m_count; }
    bool IsModified() const { return m_modified; }
    int Selected() const { return m_selected; }
    // 1 maintain indexes, 2 nearest colour matching, 3 error diffusion dithering.
    int LoadOption() const { return m_loadOption; }
    bool EditAlpha() const { return m_editAlpha; }

    // The grid's parts, for the command and its tests.
    void OnLoad();
    void OnSave();
    // What a double click on a client point does.
    void EditEntryAt(const QPoint& pos);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void LoadControls();
    void StoreControls();
    void OnOK();
    void ShowMessage(const QString& text);

    RGBQUAD m_palette[256] = {};
    int m_count = 0;
    bool m_modified = false;
    int m_selected = -1;
    int m_loadOption = 1;
    bool m_editAlpha = false;

    CIconButton* m_ok = nullptr;
    CIconButton* m_cancel = nullptr;
    QPushButton* m_load = nullptr;
    QPushButton* m_save = nullptr;
    QRadioButton* m_option[3] = {};
    QCheckBox* m_alpha = nullptr;
    QLabel* m_info = nullptr;
};
