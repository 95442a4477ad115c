// The eight undo steps of an image document. Below the level are the pictures to go back to,
// oldest first; after an undo, the pictures to go forward to sit at and above it. Each step also
// keeps how the change after it moved the picture, so that measurements follow an undo or redo.
#pragma once

#include <QTransform>

#include <deque>
#include <memory>

#include "imagelib/pximage.h"

class CUndoRing {
public:
    static constexpr int kSlots = 8;

    int Level() const { return m_level; }
    bool CanUndo() const { return m_level > 0; }
    bool CanRedo() const { return m_level < static_cast<int>(m_steps.size()); }

    // A new step below the current picture (none kept when null). The steps forward go, as after
    // any change, and the oldest goes when all eight are taken.
    void Push(std::unique_ptr<PxImage> snapshot);
    // The current picture goes one step back or forward: it is swapped with that step. Each
    // returns how the change undone or redone moved the picture (identity when nothing moved).
    QTransform Undo(PxImage*& current);
    QTransform Redo(PxImage*& current);
    // Takes away the last step pushed: the change it was kept for did not happen after all.
    void DropLast();
    // The last step below the level and how the change after it moved the picture.
    const PxImage* Last() const { return m_level > 0 ? m_steps[static_cast<size_t>(m_level - 1)].image.get() : nullptr; }
    void SetLastGeometry(const QTransform& t);
    const PxImage* At(int index) const;

private:
    struct Step {
        std::unique_ptr<PxImage> image;
        QTransform geometry;
    };
    std::deque<Step> m_steps;
    int m_level = 0;
};
