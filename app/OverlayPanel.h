#pragma once

#include <QFrame>
#include <QList>

class QLineEdit;

namespace kv {

// A sub-form laid over a window's list: hidden at creation; while it is shown the
// window's list view and side buttons are disabled.
class OverlayPanel : public QFrame
{
    Q_OBJECT
public:
    OverlayPanel(QWidget* parent, const char* name, const QRect& geometry);

    // The controls to disable while the panel is shown, in order (list view first).
    void SetMainControls(const QList<QWidget*>& controls);
    // The panel's edit boxes, the first one gets the focus when the panel opens.
    void SetBoxes(const QList<QLineEdit*>& boxes);

    // Focus the first box, show the panel, disable the main controls in order.
    void Open();
    // Hide, enable the main controls in the same order, empty the boxes.
    void Close();
    // The single steps, for handlers that need another order.
    void ShowPanel();  // visible, then disable the main controls
    void HidePanel();  // hidden, then enable the main controls
    void EmptyBoxes(); // in order

private:
    QList<QWidget*> mainControls_;
    QList<QLineEdit*> boxes_;
};

} // namespace kv
