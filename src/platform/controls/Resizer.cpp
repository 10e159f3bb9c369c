#include "platform/controls/Resizer.h"

#include <QEvent>

#include <cmath>

namespace tesr {

Resizer::Resizer(QWidget* form, QSize designClientSize) : QObject(form), m_form(form), m_design(designClientSize)
{
    setObjectName(QStringLiteral("Resizer1"));
    if (form) {
        const double s = scale();
        form->setMinimumSize(int(std::lround(m_design.width() * s)), int(std::lround(m_design.height() * s)));
        form->installEventFilter(this);
    }
}

Resizer::~Resizer()
{
    if (m_form)
        m_form->removeEventFilter(this);
}

double Resizer::scale() const
{
    const int dpi = m_form ? m_form->logicalDpiX() : 96;
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

void Resizer::Add(QWidget* control, const QRect& designRect, Anchors anchors)
{
    if (!control)
        return;
    m_controls.push_back({control, designRect, anchors});
    if (m_form)
        control->setGeometry(place(m_controls.back(), m_form->size()));
}

QRect Resizer::place(const Placed& p, QSize client) const
{
    const double s = scale();
    auto axis = [s](int start, int length, int design, int actual, bool near, bool far) {
        const double a = start * s;
        const double len = length * s;
        const double extra = actual - design * s;
        double pos = a;
        double size = len;
        if (near && far)
            size = len + extra;
        else if (far)
            pos = a + extra;
        else if (!near)
            pos = a + extra / 2; // floats with the centre
        return std::pair<int, int>(int(std::lround(pos)), std::max(0, int(std::lround(size))));
    };
    const auto [x, w] = axis(p.design.x(), p.design.width(), m_design.width(), client.width(),
                             p.anchors.testFlag(AnchorLeft), p.anchors.testFlag(AnchorRight));
    const auto [y, h] = axis(p.design.y(), p.design.height(), m_design.height(), client.height(),
                             p.anchors.testFlag(AnchorTop), p.anchors.testFlag(AnchorBottom));
    return QRect(x, y, w, h);
}

void Resizer::Layout()
{
    if (!m_form)
        return;
    const QSize client = m_form->size();
    for (const Placed& p : m_controls)
        if (p.control)
            p.control->setGeometry(place(p, client));
}

bool Resizer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_form && event->type() == QEvent::Resize)
        Layout();
    return QObject::eventFilter(watched, event);
}

} // namespace tesr
