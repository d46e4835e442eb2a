#include "OverlayPanel.h"

#include "Dialogs.h"

#include <QLineEdit>

namespace kv {

OverlayPanel::OverlayPanel(QWidget* parent, const char* name, const QRect& geometry)
    : QFrame(parent)
{
    setObjectName(QString::fromUtf8(name));
    setGeometry(geometry);
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    hide();
}

void OverlayPanel::SetMainControls(const QList<QWidget*>& controls)
{
    mainControls_ = controls;
}

void OverlayPanel::SetBoxes(const QList<QLineEdit*>& boxes)
{
    boxes_ = boxes;
}

void OverlayPanel::Open()
{
    if (!boxes_.isEmpty())
        FocusControl(boxes_.first());
    ShowPanel();
}

void OverlayPanel::Close()
{
    HidePanel();
    EmptyBoxes();
}

void OverlayPanel::ShowPanel()
{
    raise();
    setVisible(true);
    for (QWidget* control : mainControls_)
        control->setEnabled(false);
}

void OverlayPanel::HidePanel()
{
    setVisible(false);
    for (QWidget* control : mainControls_)
        control->setEnabled(true);
}

void OverlayPanel::EmptyBoxes()
{
    for (QLineEdit* box : boxes_)
        box->setText(QString());
}

} // namespace kv
