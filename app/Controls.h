#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace kv {

// The Kai face at a character height in pixels; falls back to an installed Kai font.
QFont KaiFont(int pixelHeight);

// A transparent, one-line label, centred both ways.
QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& text);
// A single-line edit box. A limit above 0 applies to what the user types or pastes;
// text the program sets is never cut. Masked boxes show every character as "*".
QLineEdit* MakeEditBox(QWidget* parent, const char* name, const QRect& geometry, int limit,
                       bool masked);
// An ordinary push button, never a default button.
QPushButton* MakeButton(QWidget* parent, const char* name, const QRect& geometry,
                        const QString& text);

// Sets a widget's text colour.
void SetTextColour(QWidget* widget, const QColor& colour);
// Sets a widget's own background colour.
void SetBackground(QWidget* widget, const QColor& colour);

} // namespace kv
