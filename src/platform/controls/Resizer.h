#pragma once

// Keeps a form's controls laid out when the window is resized. Each control is placed at its
// design position (pixels at 96 dpi, in a client area of the design size) and anchored to the
// client area's edges: anchored left and right it grows with the width, anchored right only it
// moves with the right edge, anchored to neither it keeps its place relative to the centre; the
// same for top and bottom. The window cannot be made smaller than the design size.

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>

#include <vector>

namespace tesr {

class Resizer : public QObject {
    Q_OBJECT
public:
    enum Anchor { AnchorLeft = 1, AnchorTop = 2, AnchorRight = 4, AnchorBottom = 8 };
    Q_DECLARE_FLAGS(Anchors, Anchor)
    static constexpr Anchors TopLeft() { return Anchors(AnchorLeft | AnchorTop); }
    static constexpr Anchors TopWide() { return Anchors(AnchorLeft | AnchorTop | AnchorRight); }
    static constexpr Anchors TopRight() { return Anchors(AnchorRight | AnchorTop); }
    static constexpr Anchors BottomLeft() { return Anchors(AnchorLeft | AnchorBottom); }
    static constexpr Anchors BottomRight() { return Anchors(AnchorRight | AnchorBottom); }
    static constexpr Anchors BottomWide() { return Anchors(AnchorLeft | AnchorRight | AnchorBottom); }
    static constexpr Anchors All() { return Anchors(AnchorLeft | AnchorTop | AnchorRight | AnchorBottom); }

    // designClientSize: the form's client area the positions were designed in (96 dpi pixels).
    Resizer(QWidget* form, QSize designClientSize);
    ~Resizer() override;

    void Add(QWidget* control, const QRect& designRect, Anchors anchors);
    void Add(QWidget* control, int left, int top, int width, int height, Anchors anchors)
    {
        Add(control, QRect(left, top, width, height), anchors);
    }
    QSize DesignSize() const { return m_design; }
    // Lays every control out for the form's current client size.
    void Layout();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Placed {
        QPointer<QWidget> control;
        QRect design;
        Anchors anchors;
    };
    double scale() const;
    QRect place(const Placed& p, QSize client) const;

    QPointer<QWidget> m_form;
    QSize m_design;
    std::vector<Placed> m_controls;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Resizer::Anchors)

} // namespace tesr
