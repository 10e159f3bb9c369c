#pragma once

// A frame around a group of controls, or a thin horizontal divider (a separator line above a
// dialog's buttons). A box no taller than a few pixels is drawn as a divider by itself.

#include <QFrame>

namespace tesr {

class GroupBox : public QFrame {
    Q_OBJECT
public:
    enum Appearance { Automatic, Frame, Divider };

    explicit GroupBox(QWidget* parent = nullptr);

    Appearance GetAppearance() const { return m_appearance; }
    void SetAppearance(Appearance appearance);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void applyShape();

    Appearance m_appearance = Automatic;
};

} // namespace tesr
