#include "Controls.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

namespace kv {
namespace {

// Each widget's own style sheet is rebuilt from these properties, so colours set
// separately never overwrite each other, and a skin's application style sheet cannot
// override them.
constexpr char kTextColourProperty[] = "kvTextColour";
constexpr char kBackgroundProperty[] = "kvBackground";
constexpr char kMaskedProperty[] = "kvMasked";
constexpr char kOwnStyleProperty[] = "kvOwnStyle";

void RebuildOwnStyle(QWidget* widget)
{
    QString sheet;
    const QVariant text = widget->property(kTextColourProperty);
    if (text.isValid())
        sheet += QStringLiteral("color: %1;").arg(text.value<QColor>().name());
    const QVariant background = widget->property(kBackgroundProperty);
    if (background.isValid())
        sheet += QStringLiteral("background-color: %1;").arg(background.value<QColor>().name());
    if (widget->property(kMaskedProperty).toBool())
        sheet += QStringLiteral("lineedit-password-character: 42;");
    // The rule names the widget itself through a property only it carries, so a
    // container's colours do not cascade into its children.
    widget->setProperty(kOwnStyleProperty, true);
    widget->setStyleSheet(
        QStringLiteral("*[%1=\"true\"] { %2 }").arg(QString::fromLatin1(kOwnStyleProperty), sheet));
    // A line edit reads its mask character only on a style change, and a new own sheet
    // under an application style sheet neither applies at once nor raises one.
    if (widget->property(kMaskedProperty).toBool()) {
        widget->style()->unpolish(widget);
        widget->style()->polish(widget);
        QEvent change(QEvent::StyleChange);
        QApplication::sendEvent(widget, &change);
    }
}

// Limits what the user types or pastes to a number of characters. Only the user's
// edits are cut (a validator would cut the program's own texts too): an edit that
// passes the limit loses the characters it inserted beyond it, as a pasted text is cut
// at the limit; a surrogate pair is never split.
class LengthLimit : public QObject
{
public:
    LengthLimit(QLineEdit* box, int limit) : QObject(box), box_(box), limit_(limit)
    {
        // The box's text after each change, and the one before it. Qt sends textEdited
        // before textChanged, and after a cut the outer textChanged still carries the
        // uncut text, so the box itself is read, not the signal's argument.
        connect(box, &QLineEdit::textChanged, this, [this] {
            if (box_->text() != shown_) {
                previous_ = shown_;
                shown_ = box_->text();
            }
        });
        connect(box, &QLineEdit::textEdited, this, [this](const QString& text) { Cut(text); });
    }

private:
    void Cut(const QString& text)
    {
        // The text before this edit, whichever of the two signals came first.
        const QString& before = shown_ == text ? previous_ : shown_;
        const qsizetype allowed = std::max<qsizetype>(limit_, before.size());
        if (text.size() <= allowed)
            return;
        qsizetype excess = text.size() - allowed;
        qsizetype end = box_->cursorPosition();
        qsizetype start = end - excess;
        if (start < 0) {
            start = 0;
            end = excess;
        }
        if (start > 0 && text.at(start - 1).isHighSurrogate() && text.at(start).isLowSurrogate())
            --start;
        QString kept = text;
        kept.remove(start, end - start);
        box_->setText(kept);
        box_->setCursorPosition(int(start));
    }

    QLineEdit* box_;
    int limit_;
    QString previous_, shown_;
};

} // namespace

QFont KaiFont(int pixelHeight)
{
    QFont font;
    font.setFamilies({QStringLiteral("楷体"), QStringLiteral("KaiTi"),
                      QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL UKai TW"),
                      QStringLiteral("AR PL UKai")});
    font.setPixelSize(pixelHeight);
    font.setWeight(QFont::Normal);
    return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromUtf8(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
    label->setAutoFillBackground(false);
    return label;
}

QLineEdit* MakeEditBox(QWidget* parent, const char* name, const QRect& geometry, int limit,
                       bool masked)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromUtf8(name));
    box->setGeometry(geometry);
    if (limit > 0)
        new LengthLimit(box, limit);
    if (masked) {
        box->setEchoMode(QLineEdit::Password);
        box->setProperty(kMaskedProperty, true);
        RebuildOwnStyle(box);
    }
    box->setFocusPolicy(Qt::StrongFocus);
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QRect& geometry,
                        const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

void SetTextColour(QWidget* widget, const QColor& colour)
{
    widget->setProperty(kTextColourProperty, colour);
    RebuildOwnStyle(widget);
}

void SetBackground(QWidget* widget, const QColor& colour)
{
    widget->setProperty(kBackgroundProperty, colour);
    widget->setAutoFillBackground(true);
    RebuildOwnStyle(widget);
}

} // namespace kv
