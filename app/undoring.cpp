#include "app/undoring.h"

#include <utility>

void CUndoRing::Push(std::unique_ptr<PxImage> snapshot) {
    if (m_level > kSlots - 1) {
        m_steps.pop_front();
        m_level = kSlots - 1;
    }
    m_steps.resize(static_cast<size_t>(m_level));
    if (!snapshot) return;
    m_steps.push_back(Step{std::move(snapshot), QTransform()});
    ++m_level;
}

QTransform CUndoRing::Undo(PxImage*& current) {
    if (!CanUndo()) return QTransform();
    Step& step = m_steps[static_cast<size_t>(--m_level)];
    PxImage* back = step.image.release();
    step.image.reset(current);
    current = back;
    return step.geometry;
}

QTransform CUndoRing::Redo(PxImage*& current) {
    if (!CanRedo()) return QTransform();
    Step& step = m_steps[static_cast<size_t>(m_level++)];
    PxImage* forward = step.image.release();
    step.image.reset(current);
    current = forward;
    return step.geometry;
}

void CUndoRing::DropLast() {
    if (!CanUndo()) return;
    m_steps.erase(m_steps.begin() + --m_level);
}

void CUndoRing::SetLastGeometry(const QTransform& t) {
    if (m_level > 0) m_steps[static_cast<size_t>(m_level - 1)].geometry = t;
}

const PxImage* CUndoRing::At(int index) const {
    return index >= 0 && index < static_cast<int>(m_steps.size()) ? m_steps[static_cast<size_t>(index)].image.get()
                                                                   : nullptr;
}
