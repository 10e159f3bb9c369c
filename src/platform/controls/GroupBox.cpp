#include "platform/controls/GroupBox.h"

namespace tesr {

namespace {
constexpr int DividerHeight = 6; // at most this tall: a line, not a box
}

GroupBox::GroupBox(QWidget* parent) : QFrame(parent)
{
    applyShape();
}

void GroupBox::SetAppearance(Appearance appearance)
{
    m_appearance = appearance;
    applyShape();
}

void GroupBox::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    if (m_appearance == Automatic)
        applyShape();
}

void GroupBox::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    if (m_appearance == Automatic)
        applyShape();
}

void GroupBox::applyShape()
{
    const bool divider = m_appearance == Divider || (m_appearance == Automatic && height() <= DividerHeight);
    setFrameShape(divider ? QFrame::HLine : QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
}

} // namespace tesr
